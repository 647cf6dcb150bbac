#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "scene/scene_constants.h"

// The option parser every command shares. Each command lists its options
// once, in a table that both reads the command line (GNU style, through
// getopt_long: "--opt=value" or "--opt value", "-o FILE", "--" ends the
// options) and writes --help, from which the manual pages, the shell
// completion and the option lists of docs/tool.md are made.

// Largest width or height the command line accepts.
constexpr int maxFrameSide = 16384;

// The deepest --depth the tool takes (the demo's is kDemoDepthBudget).
constexpr int kMaxToolDepth = 6;

// "640x480" -> 640, 480; false unless both sides are 1..maxFrameSide.
bool parseFrameSize(const char* text, int& width, int& height);
// 640, 480 -> "640x480".
std::string frameSizeText(int width, int height);
// A whole decimal number in [0, limit]; no sign, no spaces, nothing after it.
bool parseCount(const char* text, std::uint64_t limit, std::uint64_t& value);
// A positive decimal number (e.g. "30", "29.97" or ".5"; digits and one
// point, nothing else) up to limit.
bool parsePositive(const char* text, double limit, double& value);

struct FrameSize {
    int width = kDefaultWidth;
    int height = kDefaultHeight;
};

// One option: its names, the kind of value it takes, where that goes, and
// what --help says of it.
struct CommandOption {
    enum class Kind { Flag, Count, Rate, Size, Text, Word };
    const char* name;  // "--output"
    char shortName;    // 'o', or 0 for none
    Kind kind;
    void* value;             // bool, std::uint64_t, double, FrameSize, std::string; none for Word
    const char* valueName;   // --help's "--output=FILE"; a word list "exact|fast" is completed
    const char* help;        // one sentence or a few, wrapped by --help
    const char* needs;       // what a refused value lacks: "--fps needs <needs>"
    std::uint64_t low = 0;   // Count: the accepted range
    std::uint64_t high = 0;  // Count: the accepted range; Rate: the largest rate
    const char* word = nullptr;  // Word: the one accepted value
    bool given = false;          // set by the parser
};

// What --help says around a command's options. Each text may hold several
// lines; `usage` lines follow "glasswake-tool COMMAND ", `examples` are
// pairs of lines: a command line, then what it does.
struct CommandHelp {
    const char* command;  // "render"
    const char* usage;
    const char* about;
    const char* examples;
    const char* exitStatus;
};

// Reads argv[1..] against the table. Returns 0 when every argument was an
// option with a valid value, -1 after printing --help or --version (exit 0),
// or 2 after a usage error. With operands, the arguments that are not
// options go there in order; without, they are refused.
int parseCommandLine(const CommandHelp& help, int argc, char** argv, CommandOption* options,
                     int optionCount, std::vector<const char*>* operands = nullptr);

template <int N>
int parseCommandLine(const CommandHelp& help, int argc, char** argv, CommandOption (&options)[N],
                     std::vector<const char*>* operands = nullptr) {
    return parseCommandLine(help, argc, argv, options, N, operands);
}

// Whether the command line named the option.
inline bool given(const CommandOption* options, int optionCount, const char* name) {
    for (int i = 0; i < optionCount; ++i) {
        if (std::strcmp(options[i].name, name) == 0)
            return options[i].given;
    }
    return false;
}
template <int N>
bool given(const CommandOption (&options)[N], const char* name) {
    return given(options, N, name);
}

// What render and bench say of --size and --depth, from the demo's defaults
// and the tool's limits: the help and what a refused value lacks.
std::string sizeHelp();    // "picture size, each side 1 to 16384 (default 640x480)"
std::string sizeNeeds();   // "WxH with sides from 1 to 16384"
std::string depthHelp();   // "look through up to D faces in a row, 0 to 6 (default 2, as the demo)"
std::string depthNeeds();  // "a depth from 0 to 6"

// The --help text: usage, about, every option once, exit status, examples.
std::string helpText(const CommandHelp& help, const CommandOption* options, int optionCount);

// "glasswake-tool COMMAND: problem[: argument]" and the line that points to
// --help, on stderr; returns 2.
int usageError(const char* command, const char* problem, const char* argument);
