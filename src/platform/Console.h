#pragma once
// The command line's arguments and standard streams, the same on every
// system: arguments as UTF-8 text, output as the exact bytes written.
#include <string>
#include <vector>

namespace vantor::platform {

// The program's arguments in UTF-8. Windows hands main() its arguments in
// the ANSI code page, which loses letters outside it; they are taken from
// the wide command line there.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Standard output and error take bytes as they are: on Windows no CR is put
// before each LF (the results log has its own CR LF), and a console shows
// UTF-8 and the terminal codes of the progress line.
void UseExactStandardStreams();
// Whether stream 0 (input) or 2 (error) is a terminal; on Windows a
// console, which the NUL device is not.
bool IsTerminal(int stream);

}  // namespace vantor::platform
