#pragma once

// Each glasswake-tool subcommand: argv[0] is the subcommand's name.
// Returns the process exit status (0 ok, 1 failure, 2 usage error).
int runInfo(int argc, char** argv);
int runCheck(int argc, char** argv);
int runMakeData(int argc, char** argv);
int runRender(int argc, char** argv);
int runBench(int argc, char** argv);
