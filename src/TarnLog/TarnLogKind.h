// The kinds of log line: each has its mark in the line, and the internal
// kinds are the writer's own reports. Values are those of the log format.
#pragma once

enum TarnLogKind : int {
    TARNLOG_INFO = 0,
    TARNLOG_ERROR = 1,
    TARNLOG_AT = 2,
    TARNLOG_ARROW_RIGHT = 3,
    TARNLOG_ARROW_LEFT = 4,
    TARNLOG_FATAL = 5,
    TARNLOG_DUMP = 6,
    TARNLOG_START = 7,
    TARNLOG_END = 8,
    TARNLOG_INTERNAL = 9,
    TARNLOG_SYSTEM = 10,
    TARNLOG_RESEARCH = 11,
};
