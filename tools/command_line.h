#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The option parser every command shares: each command lists its
// options in a table, and every command line is read, refused and explained
// the same way ("glasswake-tool COMMAND: problem: argument", then the usage).

// Largest width or height the command line accepts.
constexpr int maxFrameSide = 16384;

// "640x480" -> 640, 480; false unless both sides are 1..maxFrameSide.
bool parseFrameSize(const char* text, int& width, int& height);
// A whole decimal number in [0, limit]; no sign, no spaces, nothing after it.
bool parseCount(const char* text, std::uint64_t limit, std::uint64_t& value);
// A positive decimal number (e.g. "30", "29.97" or ".5"; digits and one
// point, nothing else) up to limit.
bool parsePositive(const char* text, double limit, double& value);

struct FrameSize {
    int width = 640;
    int height = 480;
};

// One option: its name, the kind of value it takes and where that goes.
struct CommandOption {
    enum class Kind { Flag, Count, Rate, Size, Text, Word };
    const char* name;
    Kind kind;
    void* value;             // bool, std::uint64_t, double, FrameSize, std::string; none for Word
    const char* needs;       // what a refused value lacks: "--fps needs <needs>"
    std::uint64_t low = 0;   // Count: the accepted range
    std::uint64_t high = 0;  // Count: the accepted range; Rate: the largest rate
    const char* word = nullptr;  // Word: the one accepted value
    bool given = false;          // set by the parser
};

// Reads argv[1..] against the table. Returns 0 when every argument was an
// option with a valid value, -1 after printing the usage for --help, or 2
// after a usage error. With operands, the arguments that are not options
// (all of them after "--") go there in order; without, they are refused.
int parseCommandLine(const char* command, const char* usage, int argc, char** argv,
                     CommandOption* options, int optionCount,
                     std::vector<const char*>* operands = nullptr);

template <int N>
int parseCommandLine(const char* command, const char* usage, int argc, char** argv,
                     CommandOption (&options)[N], std::vector<const char*>* operands = nullptr) {
    return parseCommandLine(command, usage, argc, argv, options, N, operands);
}

// Whether the command line named the option.
template <int N>
bool given(const CommandOption (&options)[N], const char* name) {
    for (const CommandOption& option : options) {
        if (std::strcmp(option.name, name) == 0)
            return option.given;
    }
    return false;
}

// "glasswake-tool COMMAND: problem[: argument]" and the usage on stderr; returns 2.
int usageError(const char* command, const char* usage, const char* problem, const char* argument);
