// The command line: `velmora [DATADIR]`, `velmora --screenshot FILE [DATADIR]`,
// `velmora --connect HOST:PORT [--token-file FILE] [DATADIR]` and `velmora --help`. Parsing only
// reads the arguments and the file system; the caller prints the texts and ends the process with
// the status it is given.
#pragma once

#include <string>

struct Options {
    std::string dataDir = ".";   // the folder the data files are read from
    std::string screenshotFile;  // when set: draw the start view, save it there, exit
    std::string connect;         // HOST:PORT of a velmora-server that holds the volume
    std::string tokenFile;       // with connect: the file holding the server's token
};

struct OptionsResult {
    bool run = false;  // true: start the viewer with `options`; false: exit with `status`
    int status = 0;
    std::string out;  // for standard output: the usage, on request
    std::string err;  // for standard error: the usage after a wrong option, or one ERROR line
    Options options;
};

// Reads argv[1] to argv[argc - 1]. --help (or -h) prints the usage and exits 0; an unknown
// option, a missing value or a second DATADIR prints the usage on standard error and exits
// 2; a DATADIR that is not an existing folder gives one ERROR line and exits 2. Options
// end at "--", so that a DATADIR may start with '-'.
OptionsResult ParseOptions(int argc, const char* const* argv);

// The usage: the command forms, the options, the mouse and the keys.
std::string UsageText();

// Makes the data folder the working directory, so that the data files are read and the
// screenshots saved there under their plain names, and a screenshot FILE given relative to
// the folder the viewer was started in becomes absolute first. False with one ERROR line in
// `error` when the folder cannot be entered.
bool EnterDataFolder(Options& options, std::string& error);
