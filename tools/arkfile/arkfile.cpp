// arkfile: checks, shows and converts the vault's exchange files without the vault.
//
// Every command reads the file through the importer's check pass and stops at the first problem.
// What the importer would leave out of a file it accepts (bytes after the last CR, bytes after a
// NUL in a field) is named in a warning; the converting commands then write nothing, since their
// output would silently lack those bytes. Regular output files are written to a temporary file
// beside the target (mode 0600) and renamed over it, so a failed or refused run leaves nothing
// behind; a character device or FIFO is written in place, a symbolic link is written through.
#include "arkfile_shared.h"
#include "exchange_codec.h"
#include "text.h"
#include "wipe.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

enum ExitCode { exitOk = 0, exitBadFile = 1, exitUsage = 2, exitWrongPassword = 3 };

// Ends the command with one line on stderr and an exit code.
struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void fail(int code, std::string message) { throw Failure{code, std::move(message)}; }

constexpr std::size_t kPasswordMaxUnits = 127;  // what the vault's password edits accept

// The vault's own texts for password entry.
constexpr const char *kTextNoPassword = "Bitte geben Sie ein Passwort ein!";
constexpr const char *kTextMismatch =
    "Die beiden Passwörter sind unterschiedlich. Bitte geben Sie sie nochmals ein!";
constexpr const char *kTextShortPassword =
    "Das Passwort sollte mindestens 8 Zeichen lang sein. Trotzdem fortfahren?";

const char *const kMainHelp =
    "Usage: arkfile COMMAND [OPTIONS] FILE\n"
    "Checks, shows and converts exchange files of The Arkel: encrypted (.ark) and plain (.txt),\n"
    "also to and from the CSV and KeePass 2 XML of other password managers.\n"
    "\n"
    "Commands:\n"
    "  check FILE                 exit 0 when the vault would import FILE, else report the first\n"
    "                             problem as FILE:LINE: reason\n"
    "  decrypt FILE [-o OUT]      an encrypted file to the plain variant\n"
    "  encrypt FILE [-o OUT]      a plain file to the encrypted variant\n"
    "  show FILE [--format F]     the objects as UTF-8 text: table (default), tsv or json\n"
    "  passwd FILE -o OUT         an encrypted file under a new password\n"
    "%s"
    "\n"
    "Run 'arkfile COMMAND --help' for the options of a command.\n"
    "Exit status: 0 success, 1 bad file or I/O error, 2 usage, 3 wrong password.\n";

const char *const kPasswordHelp =
    "  --password-file PATH   take the password from the first line of PATH (UTF-8);\n"
    "                         without it the password is asked for on the terminal\n";

struct Command {
    const char *name;
    const char *help;
    bool output;       // -o
    bool password;     // --password-file
    bool newPassword;  // --new-password-file
    bool format;       // --format
};

const Command kCommands[] = {
    {"check",
     "Usage: arkfile check FILE [--password-file PATH]\n"
     "Exits 0 when the vault would import FILE, else 1 with the first problem as FILE:LINE: "
     "reason.\n"
     "Lines are counted by CR, as the vault counts them; more than 65535 lines are refused. What\n"
     "the vault would leave out (bytes after the last CR, after a NUL in a field) is named in a\n"
     "warning. With a password file, the password of an encrypted file is checked too (exit 3\n"
     "when it is wrong) and its fields are looked into as well.\n",
     false, true, false, false},
    {"decrypt",
     "Usage: arkfile decrypt FILE [-o OUT] [--password-file PATH]\n"
     "Writes the plain variant of an encrypted exchange file, byte for byte what the vault's "
     "plain\n"
     "export of the same objects writes (empty titles become the default titles, the flag 1 or "
     "0).\n"
     "Without -o the result goes to standard output.\n",
     true, true, false, false},
    {"encrypt",
     "Usage: arkfile encrypt FILE [-o OUT] [--password-file PATH]\n"
     "Writes the encrypted variant of a plain exchange file under a new password, byte for byte\n"
     "what the vault's encrypted export of the same objects writes. Without a password file the\n"
     "password is asked for twice. Without -o the result goes to standard output.\n",
     true, true, false, false},
    {"show",
     "Usage: arkfile show FILE [--format table|tsv|json] [--password-file PATH]\n"
     "Prints the objects of an exchange file in UTF-8, with the columns title1, value1, title2,\n"
     "value2, title3, value3, category and flag as the file holds them. In table and tsv, TAB, "
     "CR,\n"
     "LF and backslash are shown as \\t, \\r, \\n and \\\\.\n",
     false, true, false, true},
    {"passwd",
     "Usage: arkfile passwd FILE -o OUT [--password-file PATH] [--new-password-file PATH]\n"
     "Writes the objects of an encrypted exchange file under a new password.\n",
     true, true, true, false},
};

// Said under the help of every converting command.
const char *const kLossHelp =
    "Nothing is written when the vault's import would leave out bytes of FILE; warnings name\n"
    "them.\n";

struct Options {
    const Command *command = nullptr;
    std::string file;
    std::string output;
    std::string passwordFile;
    std::string newPasswordFile;
    std::string format = "table";
};

std::string commandHelp(const Command &c) {
    std::string help = c.help;
    if (c.output) help += kLossHelp;
    help += "\nOptions:\n";
    if (c.output)
        help +=
            "  -o, --output OUT       write the result to OUT: a regular file is replaced whole\n"
            "                         (mode 0600), a symbolic link written through, a device or\n"
            "                         FIFO written in place\n";
    if (c.format) help += "  --format F             table, tsv or json\n";
    if (c.password) help += kPasswordHelp;
    if (c.newPassword)
        help += "  --new-password-file PATH  take the new password from the first line of PATH\n";
    help += "  -h, --help             show this help\n";
    return help;
}

// Parses the arguments after the command name. Returns false when --help was given.
bool parseOptions(const Command &c, int argc, char **argv, Options &o) {
    o.command = &c;
    const std::string prefix = std::string("arkfile ") + c.name + ": ";
    bool endOfOptions = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
            continue;
        }
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.file.empty()) fail(exitUsage, prefix + "more than one FILE given");
            o.file = arg;
            continue;
        }
        if (arg == "-h" || arg == "--help") return false;
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        std::string *target = nullptr;
        if ((name == "-o" || name == "--output") && c.output)
            target = &o.output;
        else if (name == "--password-file" && c.password)
            target = &o.passwordFile;
        else if (name == "--new-password-file" && c.newPassword)
            target = &o.newPasswordFile;
        else if (name == "--format" && c.format)
            target = &o.format;
        else
            fail(exitUsage, prefix + "unknown option '" + arg + "' (see --help)");
        if (!hasValue) {
            if (i + 1 >= argc) fail(exitUsage, prefix + "option '" + name + "' needs a value");
            value = argv[++i];
        }
        if (value.empty()) fail(exitUsage, prefix + "option '" + name + "' needs a value");
        *target = value;
    }
    if (o.file.empty()) fail(exitUsage, prefix + "no FILE given (see --help)");
    if (std::string(c.name) == "passwd" && o.output.empty())
        fail(exitUsage, prefix + "-o OUT is required");
    if (o.format != "table" && o.format != "tsv" && o.format != "json")
        fail(exitUsage, prefix + "unknown format '" + o.format + "' (table, tsv or json)");
    return true;
}

// ---- Files -----------------------------------------------------------------------------------

// The vault's store holds at most this many objects, so no exchange file has more lines.
constexpr std::size_t kMaxLines = 65535;
// The longest line that passes the check: eight fields of 512 bytes, seven TABs and the CR.
constexpr std::size_t kMaxLineBytes = kColumnCount * kEncryptedFieldLimit + kColumnCount;
// The largest file an export of a full store can make (the LF of every line counted); larger
// input is refused, so that a file that never ends (a device, a FIFO) cannot run the tool forever.
constexpr std::uint64_t kMaxFileBytes =
    kEncryptedBodyOffset + static_cast<std::uint64_t>(kMaxLines) * (kMaxLineBytes + 1);

int openForReading(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) fail(exitBadFile, path + ": cannot open: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(exitBadFile, path + ": is a directory");
    }
    return fd;
}

// Reads a chunk; 0 at the end of the file.
std::size_t readChunk(int fd, const std::string &path, std::uint8_t *buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        const int e = errno;
        ::close(fd);
        fail(exitBadFile, path + ": cannot read: " + std::strerror(e));
    }
}

// The first line of a small file (a password file), at most 64 KiB of it.
ByteString readFirstLine(const std::string &path) {
    const int fd = openForReading(path);
    ByteString line;
    std::uint8_t chunk[4096];
    for (;;) {
        const std::size_t n = readChunk(fd, path, chunk, sizeof chunk);
        const auto end = std::find(chunk, chunk + n, std::uint8_t{'\n'});
        line.insert(line.end(), chunk, end);
        if (n == 0 || end != chunk + n) break;
        if (line.size() > 65536) {
            ::close(fd);
            secureWipe(line.data(), line.size());
            fail(exitBadFile, path + ": first line longer than 64 KiB");
        }
    }
    secureWipe(chunk, sizeof chunk);
    ::close(fd);
    return line;
}

// An exchange file as the importer sees it, read through its check pass.
struct ExchangeInput {
    // The header as it stands (the marker line and check field of an encrypted file), then the
    // complete record lines with their LF bytes left out (the importer skips them anyway).
    ByteString data;
    CheckReport report;
    std::size_t firstLine = 1;  // file line of the first record line
    std::size_t tailBytes = 0;  // bytes other than LF after the last CR: no line, never imported
    bool tailHasLf = false;     // ... among which an LF ended what looks like a line
    std::string tailStart;      // the first of those bytes, for the warning
};

// Reads the file through the check pass, keeping only what can form lines: memory is bounded by
// the largest file of the store's 65,535 objects, whatever the input. Stops at the first fault.
ExchangeInput readExchange(const std::string &path) {
    ExchangeInput in;
    const int fd = openForReading(path);
    std::uint8_t chunk[65536];
    std::uint64_t total = 0;
    ByteString head;  // the first 11 bytes, until the variant is known
    bool variantKnown = false;
    FieldReader checkField;  // the check field of an encrypted file, from offset 11
    bool checkFieldEnded = false;
    ExchangeChecker checker(false);
    ByteString line;            // the current line, without LF; its length is capped
    std::size_t lineBytes = 0;  // its bytes other than LF, counted beyond the cap too
    bool lfInLine = false;

    auto body = [&](std::uint8_t b) {
        const std::size_t linesBefore = checker.lines();
        if (!checker.addByte(b)) {
            in.report.fault = checker.fault();
            in.report.faultLine = in.firstLine + linesBefore;
            in.report.faultColumn = checker.tabs() + 1;
            in.report.lines = linesBefore;
            return false;
        }
        if (b == '\n') {
            // An LF after the bytes of a line (not the one after its CR) ends it for most
            // programs, never for the vault.
            if (lineBytes > 0) {
                lfInLine = true;
                if (in.tailStart.size() < 40) in.tailStart.push_back('\n');
            }
            return true;
        }
        if (b == '\r') {
            in.data.insert(in.data.end(), line.begin(), line.end());
            in.data.push_back(b);
            line.clear();
            lineBytes = 0;
            lfInLine = false;
            in.tailStart.clear();
            return checker.lines() <= kMaxLines;
        }
        // A line that passed the check is never longer; a longer one ends in a fault or is
        // never imported, so its bytes need not be kept.
        if (line.size() < kMaxLineBytes) line.push_back(b);
        ++lineBytes;
        if (in.tailStart.size() < 40) in.tailStart.push_back(static_cast<char>(b));
        return true;
    };
    auto chooseVariant = [&]() {
        variantKnown = true;
        in.report.encrypted = hasEncryptedMarker(head);
        checker = ExchangeChecker(in.report.encrypted);
        in.data = head;
        if (in.report.encrypted) {
            in.firstLine = 3;
            return true;
        }
        in.data.clear();
        for (std::uint8_t b : head)
            if (!body(b)) return false;
        return true;
    };

    bool going = true;
    while (going) {
        const std::size_t n = readChunk(fd, path, chunk, sizeof chunk);
        if (n == 0) break;
        total += n;
        if (total > kMaxFileBytes) {
            ::close(fd);
            fail(exitBadFile, path + ": larger than " + std::to_string(kMaxFileBytes) +
                                  " bytes, the largest exchange file of 65535 objects");
        }
        for (std::size_t i = 0; i < n && going; ++i) {
            const std::uint8_t b = chunk[i];
            if (!variantKnown) {
                head.push_back(b);
                if (head.size() == kEncryptedMarker.size()) going = chooseVariant();
                continue;
            }
            if (in.report.encrypted) {
                const std::uint64_t offset = total - n + i;
                if (!checkFieldEnded) checkFieldEnded = checkField.addByte(b);
                if (offset < kEncryptedBodyOffset) {
                    in.data.push_back(b);
                    continue;
                }
            }
            going = body(b);
        }
    }
    ::close(fd);
    if (!variantKnown) chooseVariant();
    if (in.report.fault != CheckFault::none) return in;
    if (in.report.encrypted && !checkFieldEnded) {
        in.report.fault = CheckFault::missingCheckField;
        in.report.faultLine = 2;
        in.report.faultColumn = 1;
        return in;
    }
    in.report.lines = checker.lines();
    in.tailBytes = lineBytes;
    in.tailHasLf = lfInLine;
    return in;
}

std::string displayBytes(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (u < 0x20 || u >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void warn(const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// The file, which must pass the importer's check and hold no more lines than the store takes.
// Warns about bytes after the last CR; returns whether there were any.
ExchangeInput readChecked(const std::string &path, bool &ignored) {
    ExchangeInput in = readExchange(path);
    if (in.report.lines > kMaxLines)
        fail(exitBadFile, path + ":" + std::to_string(in.firstLine + kMaxLines) +
                              ": more than 65535 objects, more than the vault's store holds");
    if (in.report.fault != CheckFault::none)
        fail(exitBadFile,
             path + ":" + std::to_string(in.report.faultLine) + ": " + describeFault(in.report));
    ignored = in.tailBytes > 0;
    if (ignored) {
        std::string text = path + ":" + std::to_string(in.firstLine + in.report.lines) +
                           ": warning: " + std::to_string(in.tailBytes) +
                           " bytes after the last CR form no line and are ignored: \"" +
                           displayBytes(in.tailStart) + (in.tailBytes > 40 ? "\"..." : "\"");
        if (in.tailHasLf) text += " (lines end with LF only; the vault ends a line at CR)";
        warn(text);
    }
    return in;
}

// Warns about the bytes of a field that the import leaves out: those from a NUL byte on, a lone
// last hex digit, and whatever goes beyond 255 bytes. Returns whether there were any.
bool warnAboutFields(const std::string &path, const ExchangeInput &in,
                     const std::vector<RawLine> &raw, const PasswordKeys &keys) {
    bool any = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            const ByteString &field = raw[i][c];
            ByteString text;
            std::string odd;
            if (in.report.encrypted) {
                std::array<std::uint8_t, kEncryptedFieldLimit / 2> buffer{};
                const std::size_t m = decodeHexDigits(field, buffer);
                cipherWithKeys(buffer, static_cast<std::int32_t>(m), keys, 0);
                text.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(m));
                secureWipe(buffer.data(), buffer.size());
                // Padding zeros after the text are the format's own.
                while (!text.empty() && text.back() == 0) text.pop_back();
                if (field.size() % 2) odd = "a lone last hex digit is ignored";
            } else {
                text = unescapeField(field);
            }
            std::string why;
            const auto nul = std::find(text.begin(), text.end(), std::uint8_t{0});
            const auto kept =
                std::min<std::size_t>(static_cast<std::size_t>(nul - text.begin()), kFieldTextMax);
            if (nul != text.end() && kept == static_cast<std::size_t>(nul - text.begin()))
                why = "the " + std::to_string(text.size() - kept) +
                      " bytes from a NUL byte on are ignored";
            else if (text.size() > kept)
                why = "the " + std::to_string(text.size() - kept) + " bytes beyond 255 are ignored";
            secureWipe(text.data(), text.size());
            for (const std::string &w : {why, odd}) {
                if (w.empty()) continue;
                warn(path + ":" + std::to_string(in.firstLine + i) + ": warning: column " +
                     std::to_string(c + 1) + ": " + w);
                any = true;
            }
        }
    }
    return any;
}

bool writeAll(int fd, const std::uint8_t *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The folder that holds the path's last name.
std::string parentFolder(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Writes to a new temporary file beside the target and renames it over the target.
void writeAtomically(const std::string &path, const ByteString &data) {
    const auto slash = path.rfind('/');
    const std::string dir = parentFolder(path);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) fail(exitBadFile, path + ": not a file name");
    std::string temp = dir + "/." + base + ".arkfile-XXXXXX";
    const int fd = ::mkstemp(temp.data());  // mode 0600
    if (fd < 0) fail(exitBadFile, path + ": cannot create: " + std::strerror(errno));
    if (!writeAll(fd, data.data(), data.size()) || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        fail(exitBadFile, path + ": cannot write: " + std::strerror(e));
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        fail(exitBadFile, path + ": cannot write: " + std::strerror(e));
    }
}

// Whether decrypted text may go into this special file: a FIFO only when it is the user's own
// (anyone may make one in a shared folder and read what arrives), a character device when it is
// the user's own or the system's (only root makes device nodes; a terminal of another user is
// that user's).
bool specialFileIsOurs(const struct stat &st) {
    const uid_t me = ::geteuid();
    if (st.st_uid == me) return true;
    return S_ISCHR(st.st_mode) && st.st_uid == 0;
}

void refuseForeignSpecialFile(const std::string &path) {
    fail(exitBadFile, path + ": " + "a FIFO or device of another user; nothing written");
}

// Writes through an open descriptor of a special file that passed the checks.
void writeToDescriptor(int fd, const std::string &path, const ByteString &data) {
    if (!writeAll(fd, data.data(), data.size())) {
        const int e = errno;
        ::close(fd);
        fail(exitBadFile, path + ": cannot write: " + std::strerror(e));
    }
    ::close(fd);
}

// A character device or a FIFO is written as it is: replacing it would destroy the device node or
// leave the reader waiting.
void writeInPlace(const std::string &path, const ByteString &data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) fail(exitBadFile, path + ": cannot open: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);
        fail(exitBadFile, path + ": changed while it was being opened; nothing written");
    }
    if (!specialFileIsOurs(st)) {
        ::close(fd);
        refuseForeignSpecialFile(path);
    }
    writeToDescriptor(fd, path, data);
}

// Writes the output where the user means it to go: a new or regular file atomically, a symbolic
// link through to the file it names, a character device or FIFO in place. Anything else is
// refused before anything is written.
void writeToPath(const std::string &path, const ByteString &data) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) fail(exitBadFile, path + ": " + std::strerror(errno));
        writeAtomically(path, data);
        return;
    }
    if (S_ISLNK(st.st_mode)) {
        // A link is followed as the kernel's protected_symlinks rule would: when it is the user's
        // own, or does not lie in a sticky world-writable folder (such as /tmp) of another owner,
        // where anyone could have planted it.
        if (st.st_uid != ::geteuid()) {
            struct stat d {};
            if (::stat(parentFolder(path).c_str(), &d) != 0 ||
                ((d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH) && d.st_uid != st.st_uid))
                fail(exitBadFile, path +
                                      ": a symbolic link of another user in a shared folder; "
                                      "nothing written");
        }
        char *target = ::realpath(path.c_str(), nullptr);
        if (!target) {
            const int why = errno;
            // /dev/stdout and its kind name a pipe or socket that has no path: the open
            // descriptor tells what it is.
            const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            struct stat o {};
            if (fd >= 0 && ::fstat(fd, &o) == 0 &&
                (S_ISFIFO(o.st_mode) || S_ISCHR(o.st_mode) || S_ISSOCK(o.st_mode))) {
                if (!S_ISSOCK(o.st_mode) && !specialFileIsOurs(o)) {
                    ::close(fd);
                    refuseForeignSpecialFile(path);
                }
                writeToDescriptor(fd, path, data);
                return;
            }
            if (fd >= 0) ::close(fd);
            fail(exitBadFile, path + ": symbolic link to a file that does not exist (" +
                                  std::strerror(why) + "); nothing written");
        }
        const std::string resolved = target;
        std::free(target);
        if (::lstat(resolved.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
            fail(exitBadFile, path + ": cannot follow the symbolic link; nothing written");
        if (S_ISREG(st.st_mode)) {
            writeAtomically(resolved, data);
            return;
        }
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            if (!specialFileIsOurs(st)) refuseForeignSpecialFile(path);
            writeInPlace(resolved, data);
            return;
        }
    }
    if (S_ISREG(st.st_mode)) {
        writeAtomically(path, data);
    } else if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        // Refused before the open, which would wait for a reader of a FIFO.
        if (!specialFileIsOurs(st)) refuseForeignSpecialFile(path);
        writeInPlace(path, data);
    } else if (S_ISDIR(st.st_mode)) {
        fail(exitBadFile, path + ": is a directory; nothing written");
    } else {
        fail(exitBadFile, path + ": not a regular file, character device or FIFO; nothing written");
    }
}

void writeOutput(const Options &o, const ByteString &data) {
    if (!o.output.empty()) {
        writeToPath(o.output, data);
        return;
    }
    if (!writeAll(STDOUT_FILENO, data.data(), data.size()))
        fail(exitBadFile, std::string("standard output: cannot write: ") + std::strerror(errno));
}

// ---- Passwords -------------------------------------------------------------------------------

// A password in both forms, wiped when it goes.
struct Secret {
    std::string utf8;
    std::u16string units;
    Secret() = default;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    ~Secret() { clear(); }
    void clear() {
        secureWipe(utf8.data(), utf8.size());
        secureWipe(units.data(), units.size() * sizeof(char16_t));
        utf8.clear();
        units.clear();
    }
};

// The terminal's settings while echo is off, put back also when the user interrupts.
int gTtyFd = -1;
struct termios gTtySaved;
volatile std::sig_atomic_t gEchoOff = 0;

void restoreEchoOnSignal(int sig) {
    if (gEchoOff) ::tcsetattr(gTtyFd, TCSAFLUSH, &gTtySaved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

int openTerminal(const std::string &forFile) {
    if (gTtyFd < 0) {
        gTtyFd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
        if (gTtyFd < 0)
            fail(exitUsage,
                 forFile + ": no terminal to ask for the password (use --password-file)");
    }
    return gTtyFd;
}

void ttyWrite(const std::string &text) {
    writeAll(gTtyFd, reinterpret_cast<const std::uint8_t *>(text.data()), text.size());
}

// Reads one line from the terminal; false at end of input.
bool ttyReadLine(std::string &line) {
    line.clear();
    // Room for any password at once: a string that grows leaves its old copy in freed memory.
    line.reserve(4096);
    char c;
    for (;;) {
        const ssize_t n = ::read(gTtyFd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !line.empty();
        if (c == '\n') return true;
        line.push_back(c);
    }
}

bool readHidden(const std::string &forFile, const std::string &prompt, Secret &secret) {
    openTerminal(forFile);
    ttyWrite(prompt);
    struct termios t {};
    const bool isTty = ::tcgetattr(gTtyFd, &gTtySaved) == 0;
    if (isTty) {
        std::signal(SIGINT, restoreEchoOnSignal);
        std::signal(SIGTERM, restoreEchoOnSignal);
        std::signal(SIGHUP, restoreEchoOnSignal);
        t = gTtySaved;
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        t.c_lflag |= ECHONL;
        gEchoOff = 1;
        ::tcsetattr(gTtyFd, TCSAFLUSH, &t);
    }
    secret.clear();
    const bool got = ttyReadLine(secret.utf8);
    if (isTty) {
        ::tcsetattr(gTtyFd, TCSAFLUSH, &gTtySaved);
        gEchoOff = 0;
    }
    if (!secret.utf8.empty() && secret.utf8.back() == '\r') secret.utf8.pop_back();
    return got;
}

void toUnits(Secret &secret, const std::string &source) {
    if (!utf8ToUtf16(secret.utf8, secret.units))
        fail(exitBadFile, source + ": password is not valid UTF-8");
}

void passwordFromFile(const std::string &path, Secret &secret) {
    ByteString data = readFirstLine(path);
    std::size_t end = data.size();
    if (end > 0 && data[end - 1] == '\r') --end;
    secret.utf8.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(end));
    secureWipe(data.data(), data.size());
    if (secret.utf8.empty()) fail(exitBadFile, path + ": no password on the first line");
    toUnits(secret, path);
}

// The password of an existing file.
void askPassword(const Options &o, Secret &secret) {
    if (!o.passwordFile.empty()) {
        passwordFromFile(o.passwordFile, secret);
        return;
    }
    for (;;) {
        if (!readHidden(o.file, "Password for " + o.file + ": ", secret))
            fail(exitUsage, o.file + ": no password given");
        if (!secret.utf8.empty()) break;
        ttyWrite(std::string(kTextNoPassword) + "\n");
    }
    toUnits(secret, "terminal");
}

// A new password: from a file, or typed twice with the vault's checks.
void askNewPassword(const std::string &passwordFile, const std::string &forFile, Secret &secret) {
    if (!passwordFile.empty()) {
        passwordFromFile(passwordFile, secret);
        if (secret.units.size() > kPasswordMaxUnits)
            fail(exitBadFile, passwordFile + ": password longer than 127 characters");
        return;
    }
    Secret again;
    for (;;) {
        if (!readHidden(forFile, "New password for " + forFile + ": ", secret) ||
            !readHidden(forFile, "Repeat the new password: ", again))
            fail(exitUsage, forFile + ": no password given");
        if (secret.utf8 != again.utf8) {
            ttyWrite(std::string(kTextMismatch) + "\n");
            continue;
        }
        if (secret.utf8.empty()) {
            ttyWrite(std::string(kTextNoPassword) + "\n");
            continue;
        }
        if (!utf8ToUtf16(secret.utf8, secret.units)) {
            ttyWrite("The password is not valid UTF-8.\n");
            continue;
        }
        if (secret.units.size() > kPasswordMaxUnits) {
            ttyWrite("The password is longer than 127 characters.\n");
            continue;
        }
        if (secret.units.size() < 8) {
            ttyWrite(std::string(kTextShortPassword) + " [j/N] ");
            std::string answer;
            ttyReadLine(answer);
            if (answer != "j" && answer != "J" && answer != "y" && answer != "Y") continue;
        }
        return;
    }
}

PasswordKeys keysOf(const Secret &secret) {
    PasswordKeys keys;
    makePasswordKeys(secret.units, keys);
    return keys;
}

// Asks for the file's password and checks it against the marker check field.
PasswordKeys openEncrypted(const Options &o, const ByteString &data) {
    Secret secret;
    askPassword(o, secret);
    PasswordKeys keys = keysOf(secret);
    ByteString check;
    if (!readCheckField(data, check) || !markerCheckMatches(check, keys)) {
        wipeKeys(keys);
        fail(exitWrongPassword, o.file + ": wrong password");
    }
    return keys;
}

// ---- Objects ---------------------------------------------------------------------------------

// The objects of the file. Warns about the bytes of fields that the import leaves out and notes
// them in ignored.
std::vector<TextLine> decodeLines(const std::string &path, const ExchangeInput &in,
                                  const PasswordKeys &keys, bool &ignored) {
    std::vector<RawLine> raw;
    if (splitRecordLines(in.data, raw) != 0)
        fail(exitBadFile, path + ": a line without eight columns");
    if (warnAboutFields(path, in, raw, keys)) ignored = true;
    std::vector<TextLine> lines(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        for (std::size_t c = 0; c < kColumnCount; ++c)
            lines[i][c] = decodeField(raw[i][c], in.report.encrypted, keys);
    return lines;
}

// A converted file must hold everything its input holds.
void refuseLoss(const std::string &path, bool ignored) {
    if (ignored)
        fail(exitBadFile,
             path + ": nothing written, since the output would leave out the bytes named above");
}

ByteString encodeLines(std::vector<TextLine> &lines, bool encrypted, const PasswordKeys &keys) {
    ByteString out;
    if (encrypted) appendMarker(out, keys);
    for (auto &line : lines) {
        normaliseForExport(line);
        appendRecordLine(out, line, encrypted, keys);  // decoded texts are at most 255 bytes
    }
    return out;
}

// ---- Commands --------------------------------------------------------------------------------

int runCheck(const Options &o) {
    bool ignored = false;
    const ExchangeInput in = readChecked(o.file, ignored);
    // The fields of an encrypted file can be looked into only with its password.
    if (!in.report.encrypted || !o.passwordFile.empty()) {
        PasswordKeys keys{};
        if (in.report.encrypted) keys = openEncrypted(o, in.data);
        decodeLines(o.file, in, keys, ignored);
        wipeKeys(keys);
    }
    std::printf("%s: %zu object%s, %s\n", o.file.c_str(), in.report.lines,
                in.report.lines == 1 ? "" : "s", in.report.encrypted ? "encrypted" : "plain");
    return exitOk;
}

int runDecrypt(const Options &o) {
    bool ignored = false;
    const ExchangeInput in = readChecked(o.file, ignored);
    if (!in.report.encrypted) fail(exitBadFile, o.file + ": not an encrypted exchange file");
    refuseLoss(o.file, ignored);
    PasswordKeys keys = openEncrypted(o, in.data);
    std::vector<TextLine> lines = decodeLines(o.file, in, keys, ignored);
    wipeKeys(keys);
    refuseLoss(o.file, ignored);
    writeOutput(o, encodeLines(lines, false, keys));
    return exitOk;
}

int runEncrypt(const Options &o) {
    bool ignored = false;
    const ExchangeInput in = readChecked(o.file, ignored);
    if (in.report.encrypted) fail(exitBadFile, o.file + ": already an encrypted exchange file");
    std::vector<TextLine> lines = decodeLines(o.file, in, PasswordKeys{}, ignored);
    refuseLoss(o.file, ignored);
    Secret secret;
    askNewPassword(o.passwordFile, o.output.empty() ? o.file : o.output, secret);
    PasswordKeys keys = keysOf(secret);
    const ByteString out = encodeLines(lines, true, keys);
    wipeKeys(keys);
    writeOutput(o, out);
    return exitOk;
}

int runPasswd(const Options &o) {
    bool ignored = false;
    const ExchangeInput in = readChecked(o.file, ignored);
    if (!in.report.encrypted) fail(exitBadFile, o.file + ": not an encrypted exchange file");
    refuseLoss(o.file, ignored);
    PasswordKeys oldKeys = openEncrypted(o, in.data);
    std::vector<TextLine> lines = decodeLines(o.file, in, oldKeys, ignored);
    wipeKeys(oldKeys);
    refuseLoss(o.file, ignored);
    Secret secret;
    askNewPassword(o.newPasswordFile, o.output, secret);
    PasswordKeys keys = keysOf(secret);
    const ByteString out = encodeLines(lines, true, keys);
    wipeKeys(keys);
    writeOutput(o, out);
    return exitOk;
}

std::string escapeForDisplay(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", u);
                out += buf;
            } else {
                out.push_back(c);
            }
        }
    }
    return out + "\"";
}

int runShow(const Options &o) {
    static const char *const kNames[kColumnCount] = {"title1", "value1", "title2",   "value2",
                                                     "title3", "value3", "category", "flag"};
    bool ignored = false;  // show what the vault would import; the warnings name the rest
    const ExchangeInput in = readChecked(o.file, ignored);
    PasswordKeys keys{};
    if (in.report.encrypted) keys = openEncrypted(o, in.data);
    const std::vector<TextLine> lines = decodeLines(o.file, in, keys, ignored);
    wipeKeys(keys);

    std::vector<std::array<std::string, kColumnCount>> rows(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t c = 0; c < kColumnCount; ++c)
            if (!cp1252ToUtf8(lines[i][c], rows[i][c]))
                fail(exitBadFile, o.file + ": the system cannot convert Windows-1252 (iconv)");

    std::string out;
    if (o.format == "json") {
        out = "[";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            out += i ? ",\n  {" : "\n  {";
            for (std::size_t c = 0; c < kColumnCount; ++c)
                out +=
                    std::string(c ? ", " : "") + "\"" + kNames[c] + "\": " + jsonString(rows[i][c]);
            out += "}";
        }
        out += rows.empty() ? "]\n" : "\n]\n";
    } else {
        std::array<std::string, kColumnCount> header;
        for (std::size_t c = 0; c < kColumnCount; ++c) header[c] = kNames[c];
        for (auto &row : rows)
            for (auto &cell : row) cell = escapeForDisplay(cell);
        rows.insert(rows.begin(), header);
        std::array<std::size_t, kColumnCount> width{};
        for (const auto &row : rows)
            for (std::size_t c = 0; c < kColumnCount; ++c)
                width[c] = std::max(width[c], utf8Length(row[c]));
        for (const auto &row : rows) {
            for (std::size_t c = 0; c < kColumnCount; ++c) {
                out += row[c];
                if (c + 1 == kColumnCount) break;
                if (o.format == "tsv")
                    out += '\t';
                else
                    out += std::string(width[c] - utf8Length(row[c]) + 2, ' ');
            }
            out += '\n';
        }
    }
    writeOutput(o, ByteString(out.begin(), out.end()));
    return exitOk;
}

int run(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, kMainHelp, kFormatCommandsHelp);
        return exitUsage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        std::printf(kMainHelp, kFormatCommandsHelp);
        return exitOk;
    }
    if (isFormatCommand(name)) return runFormatCommand(name, argc - 2, argv + 2);
    for (const auto &c : kCommands) {
        if (name != c.name) continue;
        Options o;
        if (!parseOptions(c, argc - 2, argv + 2, o)) {
            std::fputs(commandHelp(c).c_str(), stdout);
            return exitOk;
        }
        if (name == "check") return runCheck(o);
        if (name == "decrypt") return runDecrypt(o);
        if (name == "encrypt") return runEncrypt(o);
        if (name == "show") return runShow(o);
        return runPasswd(o);
    }
    fail(exitUsage, "arkfile: unknown command '" + name + "' (see arkfile --help)");
}

}  // namespace

// ---- Shared with the commands for other managers' formats (formats.cpp) ----------------------

void arkfileFail(int code, const std::string &message) { fail(code, message); }

ExchangeObjects readExchangeObjects(const std::string &path, const std::string &passwordFile) {
    Options o;
    o.file = path;
    o.passwordFile = passwordFile;
    bool ignored = false;
    const ExchangeInput in = readChecked(path, ignored);
    refuseLoss(path, ignored);
    PasswordKeys keys{};
    if (in.report.encrypted) keys = openEncrypted(o, in.data);
    ExchangeObjects objects;
    objects.encrypted = in.report.encrypted;
    objects.lines = decodeLines(path, in, keys, ignored);
    wipeKeys(keys);
    refuseLoss(path, ignored);
    for (TextLine &line : objects.lines) normaliseForExport(line);
    return objects;
}

void writeExchangeObjects(std::vector<TextLine> &lines, bool encrypted, const std::string &output,
                          const std::string &passwordFile) {
    PasswordKeys keys{};
    if (encrypted) {
        Secret secret;
        askNewPassword(passwordFile, output.empty() ? "standard output" : output, secret);
        keys = keysOf(secret);
    }
    ByteString out = encodeLines(lines, encrypted, keys);
    wipeKeys(keys);
    writeOutputBytes(output, out);
    secureWipe(out.data(), out.size());
}

void writeOutputBytes(const std::string &output, const ByteString &data) {
    Options o;
    o.output = output;
    writeOutput(o, data);
}

int main(int argc, char **argv) {
    // Decrypted text and passwords must not end up in a core file, nor be readable through
    // /proc/PID/mem by another process of the user (ptrace needs a dumpable process).
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const struct rlimit noCore { 0, 0 };
    ::setrlimit(RLIMIT_CORE, &noCore);
    try {
        return run(argc, argv);
    } catch (const Failure &f) {
        std::fprintf(stderr, "%s\n", f.message.c_str());
        return f.code;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "arkfile: %s\n", e.what());
        return exitBadFile;
    }
}
