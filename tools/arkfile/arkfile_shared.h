// What the commands for other managers' formats (formats.cpp) share with arkfile's own commands
// (arkfile.cpp): ending with an exit code, reading an exchange file with its password, writing
// an exchange file or any output the way every command writes it.
#pragma once

#include "exchange_codec.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr int kExitBadFile = 1;
inline constexpr int kExitUsage = 2;

// Ends the command: the message on stderr, the code as exit status.
[[noreturn]] void arkfileFail(int code, const std::string &message);

struct ExchangeObjects {
    std::vector<TextLine> lines;  // as the vault's export writes them (default titles, flag 1/0)
    bool encrypted = false;
};

// Reads an exchange file as the vault imports it, the password of an encrypted one from the
// password file or the terminal. Anything the vault would leave out ends the command.
ExchangeObjects readExchangeObjects(const std::string &path, const std::string &passwordFile);

// Writes the objects as an exchange file, encrypted under a new password (from the password file,
// or asked for twice) or plain, to output (standard output when empty).
void writeExchangeObjects(std::vector<TextLine> &lines, bool encrypted, const std::string &output,
                          const std::string &passwordFile);

// Writes bytes to output as every command does (standard output when empty).
void writeOutputBytes(const std::string &output, const ByteString &data);

// The commands of formats.cpp.
extern const char *const kFormatCommandsHelp;
bool isFormatCommand(std::string_view name);
int runFormatCommand(std::string_view name, int argc, char **argv);
