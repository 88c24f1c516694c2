// arkfile: checks, shows and converts the vault's exchange files without the vault.
//
// Every command reads the whole file, runs the importer's check pass over it first and stops at
// the first problem. Output files are written to a temporary file beside the target (mode 0600)
// and renamed over it, so a failed or refused run leaves nothing behind.
#include "exchange_codec.h"
#include "text.h"
#include "wipe.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
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
    "Checks, shows and converts exchange files of The Arkel: encrypted (.ark) and plain (.txt).\n"
    "\n"
    "Commands:\n"
    "  check FILE                 exit 0 when the vault would import FILE, else report the first\n"
    "                             problem as FILE:LINE: reason\n"
    "  decrypt FILE [-o OUT]      an encrypted file to the plain variant\n"
    "  encrypt FILE [-o OUT]      a plain file to the encrypted variant\n"
    "  show FILE [--format F]     the objects as UTF-8 text: table (default), tsv or json\n"
    "  passwd FILE -o OUT         an encrypted file under a new password\n"
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
     "Lines are counted by CR, as the vault counts them. With a password file, the password of an\n"
     "encrypted file is checked too (exit 3 when it is wrong).\n",
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
    help += "\nOptions:\n";
    if (c.output)
        help += "  -o, --output OUT       write the result to OUT (created with mode 0600)\n";
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

ByteString readFile(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(exitBadFile, path + ": cannot open: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(exitBadFile, path + ": is a directory");
    }
    ByteString data;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            fail(exitBadFile, path + ": cannot read: " + std::strerror(e));
        }
        if (n == 0) break;
        data.insert(data.end(), chunk, chunk + n);
    }
    ::close(fd);
    return data;
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

// Writes to a new temporary file beside the target and renames it over the target.
void writeAtomically(const std::string &path, const ByteString &data) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
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

void writeOutput(const Options &o, const ByteString &data) {
    if (!o.output.empty()) {
        writeAtomically(o.output, data);
        return;
    }
    if (!writeAll(STDOUT_FILENO, data.data(), data.size()))
        fail(exitBadFile, std::string("standard output: cannot write: ") + std::strerror(errno));
}

// The file, which must pass the importer's check.
ByteString readChecked(const std::string &path, CheckReport &report) {
    ByteString data = readFile(path);
    if (checkExchangeFile(data, report) != 0)
        fail(exitBadFile,
             path + ":" + std::to_string(report.faultLine) + ": " + describeFault(report));
    return data;
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
    ByteString data = readFile(path);
    std::size_t end = 0;
    while (end < data.size() && data[end] != '\n') ++end;
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

std::vector<TextLine> decodeLines(const std::string &path, const ByteString &data, bool encrypted,
                                  const PasswordKeys &keys) {
    std::vector<RawLine> raw;
    if (splitRecordLines(data, raw) != 0)
        fail(exitBadFile, path + ": a line without eight columns");
    std::vector<TextLine> lines(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        for (std::size_t c = 0; c < kColumnCount; ++c)
            lines[i][c] = decodeField(raw[i][c], encrypted, keys);
    return lines;
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
    CheckReport report;
    const ByteString data = readChecked(o.file, report);
    if (report.encrypted && !o.passwordFile.empty()) {
        PasswordKeys keys = openEncrypted(o, data);
        wipeKeys(keys);
    }
    std::printf("%s: %zu object%s, %s\n", o.file.c_str(), report.lines,
                report.lines == 1 ? "" : "s", report.encrypted ? "encrypted" : "plain");
    return exitOk;
}

int runDecrypt(const Options &o) {
    CheckReport report;
    const ByteString data = readChecked(o.file, report);
    if (!report.encrypted) fail(exitBadFile, o.file + ": not an encrypted exchange file");
    PasswordKeys keys = openEncrypted(o, data);
    std::vector<TextLine> lines = decodeLines(o.file, data, true, keys);
    wipeKeys(keys);
    writeOutput(o, encodeLines(lines, false, keys));
    return exitOk;
}

int runEncrypt(const Options &o) {
    CheckReport report;
    const ByteString data = readChecked(o.file, report);
    if (report.encrypted) fail(exitBadFile, o.file + ": already an encrypted exchange file");
    std::vector<TextLine> lines = decodeLines(o.file, data, false, PasswordKeys{});
    Secret secret;
    askNewPassword(o.passwordFile, o.output.empty() ? o.file : o.output, secret);
    PasswordKeys keys = keysOf(secret);
    const ByteString out = encodeLines(lines, true, keys);
    wipeKeys(keys);
    writeOutput(o, out);
    return exitOk;
}

int runPasswd(const Options &o) {
    CheckReport report;
    const ByteString data = readChecked(o.file, report);
    if (!report.encrypted) fail(exitBadFile, o.file + ": not an encrypted exchange file");
    PasswordKeys oldKeys = openEncrypted(o, data);
    std::vector<TextLine> lines = decodeLines(o.file, data, true, oldKeys);
    wipeKeys(oldKeys);
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
    CheckReport report;
    const ByteString data = readChecked(o.file, report);
    PasswordKeys keys{};
    if (report.encrypted) keys = openEncrypted(o, data);
    const std::vector<TextLine> lines = decodeLines(o.file, data, report.encrypted, keys);
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
        std::fputs(kMainHelp, stderr);
        return exitUsage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        std::fputs(kMainHelp, stdout);
        return exitOk;
    }
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

int main(int argc, char **argv) {
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
