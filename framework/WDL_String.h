#pragma once

#include <string>

/** A growable text, the framework's string type in the few places a host or the editor fills one in. */
class WDL_String
{
public:
    WDL_String() = default;
    explicit WDL_String(const char* text) { Set(text); }

    /** Copies `text` up to its first zero byte, and at most `maxLength` bytes when `maxLength` >= 0; null clears. */
    void Set(const char* text, int maxLength = -1);
    const char* Get() const { return text.c_str(); }
    int GetLength() const { return static_cast<int>(text.size()); }
    bool operator==(const WDL_String& other) const = default;

private:
    std::string text;
};
