// What a masked edit admits: character checkers say which characters may
// stand, a length checker how text is measured and walked.
#pragma once
#include <string>
#include <vector>

class CCharChecker {
public:
    virtual ~CCharChecker() {}
    // p: the first byte of one character.
    virtual bool IsValidChar(const char* p) = 0;
};

// Accepts the characters of a fixed set.
class CDesignCharChecker : public CCharChecker {
public:
    explicit CDesignCharChecker(const char* allowed) : m_allowed(allowed ? allowed : "") {}
    bool IsValidChar(const char* p) override;

private:
    std::string m_allowed;
};

class CLenChecker {
public:
    virtual ~CLenChecker() {}
    virtual int GetLength(const char* text) = 0;
    virtual int GetCharLength(const char* p) = 0;
    virtual const char* GetNextChar(const char* p) = 0;
};

// Counts characters: a double-byte character is one.
class CCharLenChecker : public CLenChecker {
public:
    int GetLength(const char* text) override;
    int GetCharLength(const char* p) override { return 1; }
    const char* GetNextChar(const char* p) override;
};

// source cut to limit units of len and stripped of what no checker accepts: what a masked edit
// keeps of text however it arrives. A double-byte character that would pass the limit is left out.
std::string FilterChars(const std::string& source, int limit, CLenChecker& len,
                        const std::vector<CCharChecker*>& checkers);
