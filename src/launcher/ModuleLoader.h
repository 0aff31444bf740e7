#pragma once

// The window, the command line and the recognition command live in modules
// of their own, so each start loads only the libraries it uses. Runs
// entry(argc, argv) of the module named file (looked for beside the program
// and in ../lib/quillmate) and returns its result; 1 with a message when it
// cannot be loaded.
int RunModule(const char* file, const char* entry, int argc, char** argv);
