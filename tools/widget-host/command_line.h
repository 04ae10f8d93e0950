// The widget-host command line: parses the arguments, runs the chosen command, prints
// its output on standard output, or one line "widget-host: COMMAND: what went wrong"
// on standard error, and returns the process's exit status (see ExitCode).
//
//   widget-host [--format text|json] [--extension PATH] [--timeout SECONDS]
//               [--preferences DIR] COMMAND ...
//
// The global options may also follow the command.
#pragma once

namespace host {

// Runs `widget-host` with `argv`. Throws only on faults of the host itself (the
// caller turns them into exit status 70).
int runCommandLine(int argc, char** argv);

}  // namespace host
