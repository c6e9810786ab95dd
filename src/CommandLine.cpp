#include "CommandLine.h"

#include <windows.h>
#include <ctype.h>
#include <shellapi.h>

#include "INC/Owner.h"
#include "INC/WideText.h"

namespace {

// One argument taken apart: '/' or '-', the name, then '=' and the value for
// the switches that take one.
struct Switch {
    std::string name;  // lower case, without the prefix
    std::string value;
    bool hasValue = false;
};

bool Split(const std::string& arg, Switch& out) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
    const size_t equals = arg.find('=');  // '=' is never a trail byte of code page 932
    out.hasValue = equals != std::string::npos;
    out.name = arg.substr(1, out.hasValue ? equals - 1 : std::string::npos);
    out.value = out.hasValue ? arg.substr(equals + 1) : "";
    for (char& c : out.name) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;  // no switch name holds more than ASCII
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

// Each switch sets a flag, or takes a value that must not be empty.
const struct Known {
    const char* name;
    bool CommandLineOptions::*flag;
    std::string CommandLineOptions::*value;
} kKnown[] = {
    {"quiet", &CommandLineOptions::quiet, nullptr},
    {"?", &CommandLineOptions::help, nullptr},
    {"norestart", &CommandLineOptions::noRestart, nullptr},
    {"forcerestart", &CommandLineOptions::forceRestart, nullptr},
    {"contractfile", nullptr, &CommandLineOptions::contractFile},
    {"log", nullptr, &CommandLineOptions::logFolder},
};

}  // namespace

std::vector<std::string> ProcessArguments() {
    std::vector<std::string> args;
    int count = 0;
    // The wide command line: parsing the ANSI one would take a trail byte 0x5C for a backslash.
    const COwner<CLocalTraits<LPWSTR*>> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    for (int i = 1; wide.valid() && i < count; ++i) {
        args.emplace_back();
        Narrow(wide.get()[i], args.back(), true);
    }
    return args;
}

CommandLineOptions ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineOptions o;
    // Every argument is read, the first bad one kept: /quiet anywhere keeps the report of a bad one quiet.
    auto bad = [&o](const std::string& name) {
        if (o.badArgument.empty()) o.badArgument = name;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        Switch s;
        if (!Split(args[i], s)) {
            bad(std::to_string(i + 1) + "番目の引数");
            continue;
        }
        const Known* known = nullptr;
        for (const Known& k : kKnown)
            if (s.name == k.name) known = &k;
        if (known && known->flag && !s.hasValue)
            o.*known->flag = true;
        else if (known && known->value && !s.value.empty())
            o.*known->value = s.value;
        else
            bad(args[i].substr(0, args[i].find('=')));
        if (o.noRestart && o.forceRestart) bad(args[i]);  // the two contradict each other
    }
    return o;
}

const char* UsageText() {
    return "使い方: AgentUninstaller_Win.exe [/quiet] [/contractfile=ファイル] [/norestart | /forcerestart] "
           "[/log=フォルダ]\r\n\r\n"
           "/quiet\t画面もメッセージも表示せずに実行します。\r\n"
           "/contractfile=ファイル\t契約書ＮＯをこのファイルの1行目から読みます。"
           "相対パスは本プログラムのフォルダからです。\r\n"
           "/norestart\t再起動しません。再起動の確認もしません。\r\n"
           "/forcerestart\t再起動が必要なとき、確認せずに再起動します。\r\n"
           "/log=フォルダ\tログをこのフォルダに出力します。\r\n"
           "/?\tこの説明を表示します。\r\n\r\n"
           "終了コード: 0 成功, 3010 再起動が必要, 1641 再起動を開始, 1603 失敗, 1605 未インストール, "
           "1638 新しいバージョン, 1618 実行中, 1602 中止, 1625 契約書ＮＯ不一致, 87 引数不正";
}
