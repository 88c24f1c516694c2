// The arkfile tool, run as a program in a fresh directory per test, and its text conversions.
#include "exchange_codec.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const fs::path &p, const std::string &data) {
    std::ofstream out(p, std::ios::binary);
    out << data;
}

std::string str(const ByteString &b) { return std::string(b.begin(), b.end()); }

ByteString bytes(std::string_view s) { return ByteString(s.begin(), s.end()); }

struct Result {
    int code;
    std::string out;
    std::string err;
    long maxRssKb = 0;  // the largest resident size the run reached
};

class Arkfile : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/arkfile-test-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        writeAll(dir_ / "pw", "Sommer2024!\n");
        writeAll(dir_ / "pw2", "anderes Passwort\r\nsecond line ignored\n");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string &name) const { return dir_ / name; }

    // Runs arkfile in its own session (so it has no terminal to ask on) with stdout and stderr
    // caught in files.
    Result run(std::vector<std::string> args) {
        const fs::path out = dir_ / ".stdout";
        const fs::path err = dir_ / ".stderr";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setsid();
            if (!std::freopen(out.c_str(), "wb", stdout) ||
                !std::freopen(err.c_str(), "wb", stderr))
                ::_exit(127);
            std::vector<char *> argv;
            std::string program = ARKFILE_PATH;
            argv.push_back(program.data());
            for (auto &a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err),
                 usage.ru_maxrss};
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    // Every entry of the test directory with its kind and content, to see that a run changed
    // nothing it should not have.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> entries;
        for (const auto &e : fs::directory_iterator(dir_)) {
            struct stat st {};
            ::lstat(e.path().c_str(), &st);
            std::string &d = entries[e.path().filename().string()];
            if (S_ISREG(st.st_mode))
                d = "file " + std::to_string(st.st_mode & 0777) + " " + readAll(e.path());
            else if (S_ISLNK(st.st_mode))
                d = "link " + fs::read_symlink(e.path()).string();
            else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
                d = (S_ISCHR(st.st_mode) ? "chr " : "blk ") + std::to_string(st.st_rdev);
            else
                d = S_ISFIFO(st.st_mode) ? "fifo" : S_ISDIR(st.st_mode) ? "dir" : "other";
        }
        return entries;
    }

    // Files in the test directory other than the password files.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir_))
            if (e.path().filename() != "pw" && e.path().filename() != "pw2")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

PasswordKeys keysOf(std::u16string_view password) {
    PasswordKeys keys;
    makePasswordKeys(password, keys);
    return keys;
}

TextLine textLine(std::initializer_list<std::string> columns) {
    TextLine l;
    std::size_t i = 0;
    for (const auto &c : columns) l[i++] = bytes(c);
    return l;
}

// What the vault's export writes for a few objects, in either variant.
std::string exported(bool encrypted, std::u16string_view password = u"Sommer2024!") {
    const PasswordKeys keys = keysOf(password);
    const std::vector<TextLine> lines = {
        textLine(
            {"Name", "Girokonto", "PIN", "4711", "Bemerkung", "Zeile 1\r\nZeile 2", "Bank", "1"}),
        textLine({"Name",
                  "K\xFC"
                  "che \x80 \x81",
                  "Seriennummer", "a\tb\\c", "Bemerkung", "", "", "0"}),
        textLine(
            {"Name", std::string(254, 'x'), "Seriennummer", "", "Bemerkung", "", "Privat", "1"}),
    };
    ByteString file;
    if (encrypted) appendMarker(file, keys);
    for (const auto &l : lines) appendRecordLine(file, l, encrypted, keys);
    return str(file);
}

TEST_F(Arkfile, DecryptThenEncryptGivesTheFileBack) {
    const std::string ark = exported(true);
    writeAll(path("in.ark"), ark);

    Result r =
        run({"decrypt", path("in.ark"), "-o", path("out.txt"), "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readAll(path("out.txt")), exported(false));

    r = run({"encrypt", path("out.txt"), "-o", path("again.ark"), "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readAll(path("again.ark")), ark);

    struct stat st {};
    ASSERT_EQ(::stat(path("again.ark").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Without -o the result goes to standard output.
    r = run({"decrypt", path("in.ark"), "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, exported(false));
}

TEST_F(Arkfile, WrongPasswordExits3AndWritesNothing) {
    writeAll(path("in.ark"), exported(true));
    writeAll(path("keep.txt"), "old content");
    const std::vector<std::vector<std::string>> commands = {
        {"decrypt", path("in.ark"), "-o", path("out.txt"), "--password-file", path("pw2")},
        {"decrypt", path("in.ark"), "-o", path("keep.txt"), "--password-file", path("pw2")},
        {"passwd", path("in.ark"), "-o", path("out.ark"), "--password-file", path("pw2"),
         "--new-password-file", path("pw")},
        {"show", path("in.ark"), "--password-file", path("pw2")},
        {"check", path("in.ark"), "--password-file", path("pw2")},
    };
    for (const auto &args : commands) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 3) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, path("in.ark").string() + ": wrong password\n") << args[0];
        EXPECT_EQ(files(), (std::vector<std::string>{"in.ark", "keep.txt"})) << args[0];
    }
    EXPECT_EQ(readAll(path("keep.txt")), "old content");
}

TEST_F(Arkfile, PasswdMovesTheObjectsToTheNewPassword) {
    writeAll(path("in.ark"), exported(true));
    Result r = run({"passwd", path("in.ark"), "-o", path("new.ark"), "--password-file", path("pw"),
                    "--new-password-file", path("pw2")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readAll(path("new.ark")), exported(true, u"anderes Passwort"));
    r = run({"decrypt", path("new.ark"), "--password-file", path("pw")});
    EXPECT_EQ(r.code, 3);
}

TEST_F(Arkfile, ConvertsAsTheVaultsImportAndExportWould) {
    // Empty titles come back as the default titles, any flag column as 1 or 0.
    writeAll(path("in.txt"), "\tA\t\tB\t\tC\tKat\t10\r\nT\tX\tU\tY\tV\tZ\t\t-1\r\n");
    const Result r =
        run({"encrypt", path("in.txt"), "-o", path("out.ark"), "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    const Result back = run({"decrypt", path("out.ark"), "--password-file", path("pw")});
    ASSERT_EQ(back.code, 0) << back.err;
    EXPECT_EQ(back.out,
              "Name\tA\tSeriennummer\tB\tBemerkung\tC\tKat\t1\r\nT\tX\tU\tY\tV\tZ\t\t0\r\n");
}

TEST_F(Arkfile, CheckReportsTheFirstProblemWithItsLine) {
    struct Case {
        std::string content;
        int code;
        std::string message;  // after "FILE:"
    };
    const Case cases[] = {
        {"", 0, ""},
        {exported(false), 0, ""},
        {exported(true), 0, ""},
        {"a\tb\tc\td\te\tf\tg\th\r\na\tb\tc\r\n", 1, "2: line has 3 columns, expected 8\n"},
        {"a\t" + std::string(256, 'x') + "\tc\td\te\tf\tg\th\r\n", 1,
         "1: column 2 is longer than 255 bytes\n"},
        {"encrypted\r\n0123", 1, "2: encrypted file ends inside its password check field\n"},
    };
    for (const auto &c : cases) {
        writeAll(path("f"), c.content);
        const Result r = run({"check", path("f")});
        EXPECT_EQ(r.code, c.code) << c.content.substr(0, 20);
        EXPECT_EQ(r.err, c.code ? path("f").string() + ":" + c.message : "");
    }
    // The other commands refuse such a file the same way, before asking for anything.
    const Result r = run({"decrypt", path("f"), "-o", path("out")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              path("f").string() + ":2: encrypted file ends inside its password check field\n");
    EXPECT_FALSE(fs::exists(path("out")));
}

TEST_F(Arkfile, ShowDecodesWindows1252) {
    writeAll(path("in.ark"), exported(true));
    Result r = run({"show", path("in.ark"), "--format", "json", "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"value3\": \"Zeile 1\\r\\nZeile 2\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"value1\": \"K\xC3\xBC"
                         "che \xE2\x82\xAC \xC2\x81\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"value2\": \"a\\tb\\\\c\", \"title3\": \"Bemerkung\""),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.substr(0, 4), "[\n  ");

    writeAll(path("in.txt"), exported(false));
    r = run({"show", path("in.txt"), "--format=tsv"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::istringstream lines(r.out);
    std::string header;
    std::string first;
    std::getline(lines, header);
    std::getline(lines, first);
    EXPECT_EQ(header, "title1\tvalue1\ttitle2\tvalue2\ttitle3\tvalue3\tcategory\tflag");
    EXPECT_EQ(first, "Name\tGirokonto\tPIN\t4711\tBemerkung\tZeile 1\\r\\nZeile 2\tBank\t1");

    writeAll(path("empty.txt"), "");
    r = run({"show", path("empty.txt"), "--format", "json"});
    EXPECT_EQ(r.out, "[]\n");
    r = run({"show", path("in.txt")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.substr(0, 8), "title1  ");
}

TEST_F(Arkfile, UsageErrorsAndHelp) {
    writeAll(path("in.ark"), exported(true));
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate", "x"},
        {"check"},
        {"check", "a", "b"},
        {"check", path("in.ark"), "-o", "x"},
        {"decrypt", path("in.ark"), "-o"},
        {"passwd", path("in.ark"), "--password-file", path("pw")},
        {"show", path("in.ark"), "--format", "xml"},
        // No password file and no terminal to ask on.
        {"decrypt", path("in.ark")},
    };
    for (const auto &args : usage) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]);
        if (!args.empty()) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    for (const char *command : {"check", "decrypt", "encrypt", "show", "passwd"}) {
        const Result r = run({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: arkfile ") + command), std::string::npos);
    }
    EXPECT_EQ(run({"--help"}).code, 0);

    const Result missing = run({"check", path("nope")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err.rfind(path("nope").string() + ": cannot open", 0), 0u) << missing.err;

    // A plain file is no input for decrypt, an encrypted one none for encrypt.
    writeAll(path("in.txt"), exported(false));
    EXPECT_EQ(run({"decrypt", path("in.txt"), "--password-file", path("pw")}).code, 1);
    EXPECT_EQ(run({"encrypt", path("in.ark"), "--password-file", path("pw")}).code, 1);
}

// What the vault's import would leave out of a file is named in a warning; the converting
// commands then write nothing, and no run changes a file it was not asked to write.
TEST_F(Arkfile, BytesTheImportLeavesOutAreNamedAndNeverLostSilently) {
    const std::string lfOnly =
        "Name\ta\tSeriennummer\tb\tBemerkung\tc\t\t1\nName\td\tSeriennummer\te\tBemerkung\tf\t\t0"
        "\n";
    const std::string good = "Name\ta\tSeriennummer\tb\tBemerkung\tc\t\t1\r\n";
    const std::string noFinalCr = good + "Name\tlast\tSeriennummer\t\tBemerkung\t\t\t1";
    const char nulLine[] = "Name\tab\0cd\tSeriennummer\t\tBemerkung\t\t\t1\r\n";
    const std::string nul(nulLine, sizeof nulLine - 1);
    const PasswordKeys keys = keysOf(u"Sommer2024!");
    ByteString nulArk;
    appendMarker(nulArk, keys);
    appendRecordLine(
        nulArk,
        textLine({"Name", std::string("ab\0cd", 5), "Seriennummer", "", "Bemerkung", "", "", "1"}),
        true, keys);
    const std::string f = path("f").string();
    const std::string nothingWritten =
        f + ": nothing written, since the output would leave out the bytes named above\n";
    const std::string lfWarning =
        f +
        ":1: warning: 72 bytes after the last CR form no line and are ignored: "
        "\"Name\\ta\\tSeriennummer\\tb\\tBemerkung\\tc\\t\\t1\\nNam\"... (lines end with LF "
        "only; the vault ends a line at CR)\n";
    const std::string crWarning =
        f +
        ":2: warning: 37 bytes after the last CR form no line and are ignored: "
        "\"Name\\tlast\\tSeriennummer\\t\\tBemerkung\\t\\t\\t1\"\n";
    const std::string nulWarning =
        ": warning: column 2: the 3 bytes from a NUL byte on are ignored\n";
    const std::string pw = path("pw").string();
    const std::string out = path("out").string();

    struct Case {
        std::string content;
        std::vector<std::string> args;  // after the command, FILE first
        int code;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        // LF line ends: the vault imports nothing from such a file, and says so.
        {lfOnly, {"check", f}, 0, f + ": 0 objects, plain\n", lfWarning},
        {lfOnly, {"show", f, "--format", "json"}, 0, "[]\n", lfWarning},
        {lfOnly,
         {"encrypt", f, "-o", out, "--password-file", pw},
         1,
         "",
         lfWarning + nothingWritten},
        // The last line lacks its CR.
        {noFinalCr, {"check", f}, 0, f + ": 1 object, plain\n", crWarning},
        {noFinalCr,
         {"encrypt", f, "-o", out, "--password-file", pw},
         1,
         "",
         crWarning + nothingWritten},
        // A NUL ends the text the vault takes from a field.
        {nul, {"check", f}, 0, f + ": 1 object, plain\n", f + ":1" + nulWarning},
        {nul,
         {"show", f, "--format", "tsv"},
         0,
         "title1\tvalue1\ttitle2\tvalue2\ttitle3\tvalue3\tcategory\tflag\n"
         "Name\tab\tSeriennummer\t\tBemerkung\t\t\t1\n",
         f + ":1" + nulWarning},
        {nul,
         {"encrypt", f, "-o", out, "--password-file", pw},
         1,
         "",
         f + ":1" + nulWarning + nothingWritten},
        {str(nulArk), {"check", f}, 0, f + ": 1 object, encrypted\n", ""},
        {str(nulArk),
         {"check", f, "--password-file", pw},
         0,
         f + ": 1 object, encrypted\n",
         f + ":3" + nulWarning},
        {str(nulArk),
         {"decrypt", f, "-o", out, "--password-file", pw},
         1,
         "",
         f + ":3" + nulWarning + nothingWritten},
        {str(nulArk),
         {"passwd", f, "-o", out, "--password-file", pw, "--new-password-file", pw},
         1,
         "",
         f + ":3" + nulWarning + nothingWritten},
    };
    for (const Case &c : cases) {
        writeAll(path("f"), c.content);
        const auto before = snapshot();
        const Result r = run(c.args);
        const std::string what = c.args[0] + " of " + c.content.substr(0, 12);
        EXPECT_EQ(r.code, c.code) << what;
        EXPECT_EQ(r.out, c.out) << what;
        EXPECT_EQ(r.err, c.err) << what;
        EXPECT_EQ(snapshot(), before) << what;
    }
}

TEST_F(Arkfile, NoMoreLinesThanTheStoreHoldsAreCalledImportable) {
    const std::string line = "a\tb\tc\td\te\tf\tg\th\r\n";
    std::string content;
    for (int i = 0; i < 65535; ++i) content += line;
    writeAll(path("f"), content);
    Result r = run({"check", path("f")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, path("f").string() + ": 65535 objects, plain\n");

    writeAll(path("f"), content + line);
    r = run({"check", path("f")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, path("f").string() +
                         ":65536: more than 65535 objects, more than the vault's store holds\n");
}

// -o names where the result goes: through a symbolic link to its file, into a device or FIFO as
// it stands. Nothing else is replaced.
TEST_F(Arkfile, OutputGoesThroughLinksAndIntoDevicesOrIsRefused) {
    writeAll(path("in.ark"), exported(true));
    writeAll(path("target.txt"), "old content");
    ASSERT_EQ(::symlink("target.txt", path("link").c_str()), 0);
    ASSERT_EQ(::symlink("missing.txt", path("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
    // Device nodes of our own, made here (a null device and a loop block device): they need
    // root, which the test run has; without it those cases are left out.
    const bool devices = ::mknod(path("null").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0 &&
                         ::mknod(path("block").c_str(), S_IFBLK | 0600, ::makedev(7, 0)) == 0;
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path("sock").c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    const std::string plain = exported(false);

    // A reader at the FIFO's other end, in a process of its own, keeps what arrives in a file.
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int in = ::open(path("fifo").c_str(), O_RDONLY);
        const int keep = ::open(path(".received").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(in, buf, sizeof buf)) > 0)
            if (::write(keep, buf, static_cast<size_t>(n)) != n) ::_exit(1);
        ::_exit(0);
    }

    struct Case {
        std::string output;
        int code;
        std::string err;
    };
    const std::string refused = ": not a regular file, character device or FIFO; nothing written\n";
    std::vector<Case> cases = {
        {"link", 0, ""},
        {"fifo", 0, ""},
        {"dangling", 1,
         path("dangling").string() +
             ": symbolic link to a file that does not exist (No such file or directory); nothing "
             "written\n"},
        {"folder", 1, path("folder").string() + ": is a directory; nothing written\n"},
        {"sock", 1, path("sock").string() + refused},
    };
    if (devices) {
        cases.push_back({"null", 0, ""});
        cases.push_back({"block", 1, path("block").string() + refused});
    }
    for (const Case &c : cases) {
        auto expected = snapshot();
        expected.erase(".received");
        if (c.output == "link")
            expected["target.txt"] = "file " + std::to_string(0600) + " " + plain;
        const Result r =
            run({"decrypt", path("in.ark"), "-o", path(c.output), "--password-file", path("pw")});
        EXPECT_EQ(r.code, c.code) << c.output;
        EXPECT_EQ(r.err, c.err) << c.output;
        auto after = snapshot();
        after.erase(".received");
        EXPECT_EQ(after, expected) << c.output;
        if (c.output == "fifo") {
            int status = 0;
            ::waitpid(reader, &status, 0);
            EXPECT_EQ(readAll(path(".received")), plain);
        }
    }
    ::close(sock);
}

// Decrypted text never goes into another user's FIFO or device, nor through another user's link
// planted in a sticky world-writable folder (as /tmp is); links elsewhere, and the user's own,
// are followed. The other user is "nobody"; the test run is root, which may hand files over.
TEST_F(Arkfile, OutputIntoAnotherUsersFilesIsRefused) {
    constexpr uid_t nobody = 65534;
    writeAll(path("in.ark"), exported(true));
    writeAll(path("target.txt"), "old content");
    ASSERT_EQ(::mkdir(path("shared").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(path("shared").c_str(), 01777), 0);
    ASSERT_EQ(::mkfifo(path("their-fifo").c_str(), 0666), 0);
    ASSERT_EQ(::chown(path("their-fifo").c_str(), nobody, nobody), 0);
    const bool device = ::mknod(path("their-null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 &&
                        ::chown(path("their-null").c_str(), nobody, nobody) == 0;
    const fs::path target = path("target.txt");
    ASSERT_EQ(::symlink(target.c_str(), path("shared/their-link").c_str()), 0);
    ASSERT_EQ(::lchown(path("shared/their-link").c_str(), nobody, nobody), 0);
    ASSERT_EQ(::symlink(target.c_str(), path("shared/my-link").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), path("their-link-here").c_str()), 0);
    ASSERT_EQ(::lchown(path("their-link-here").c_str(), nobody, nobody), 0);
    ASSERT_EQ(::symlink("their-fifo", path("link-to-their-fifo").c_str()), 0);
    const std::string plain = exported(false);

    struct Case {
        std::string output;
        bool written;
        std::string err;
    };
    const std::string foreign = ": a FIFO or device of another user; nothing written\n";
    std::vector<Case> cases = {
        {"their-fifo", false, path("their-fifo").string() + foreign},
        {"link-to-their-fifo", false, path("link-to-their-fifo").string() + foreign},
        {"shared/their-link", false,
         path("shared/their-link").string() +
             ": a symbolic link of another user in a shared folder; nothing written\n"},
        {"shared/my-link", true, ""},
        {"their-link-here", true, ""},
    };
    if (device) cases.push_back({"their-null", false, path("their-null").string() + foreign});
    for (const Case &c : cases) {
        writeAll(target, "old content");
        const Result r =
            run({"decrypt", path("in.ark"), "-o", path(c.output), "--password-file", path("pw")});
        EXPECT_EQ(r.code, c.written ? 0 : 1) << c.output;
        EXPECT_EQ(r.err, c.err) << c.output;
        EXPECT_EQ(readAll(target), c.written ? plain : "old content") << c.output;
    }
}

// /dev/stdout into a pipe has no path to resolve; the output goes into the pipe.
TEST_F(Arkfile, OutputToDevStdoutIntoAPipe) {
    writeAll(path("in.ark"), exported(true));
    const std::string command = std::string(ARKFILE_PATH) + " decrypt " + path("in.ark").string() +
                                " -o /dev/stdout --password-file " + path("pw").string() + " | cat";
    FILE *p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string got;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) got.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(got, exported(false));
}

// An input that never ends (here a FIFO fed with zeros, as /dev/zero would be) is refused once it
// is larger than any exchange file, in little memory. So is a password file without a line end.
TEST_F(Arkfile, EndlessInputIsRefusedInBoundedMemory) {
    ASSERT_EQ(::mkfifo(path("zeros").c_str(), 0600), 0);
    writeAll(path("in.ark"), exported(true));
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"check", path("zeros")},
         path("zeros").string() +
             ": larger than 269021220 bytes, the largest exchange file of 65535 objects\n"},
        {{"show", path("in.ark"), "--password-file", path("zeros")},
         path("zeros").string() + ": first line longer than 64 KiB\n"},
    };
    for (const Case &c : cases) {
        const pid_t writer = ::fork();
        if (writer == 0) {
            ::signal(SIGPIPE, SIG_DFL);  // ends the writer once arkfile stops reading
            const int fd = ::open(path("zeros").c_str(), O_WRONLY);
            static char zeros[1 << 16];
            while (::write(fd, zeros, sizeof zeros) > 0) {
            }
            ::_exit(0);
        }
        const Result r = run(c.args);
        ::kill(writer, SIGTERM);
        ::waitpid(writer, nullptr, 0);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_EQ(r.err, c.err);
        EXPECT_LT(r.maxRssKb, 128 * 1024) << "memory grew with the input";
    }
}

TEST(ArkfileText, Windows1252AsWindowsConvertsIt) {
    struct Case {
        ByteString in;
        std::string utf8;
    };
    const Case cases[] = {
        {{'a', 'Z'}, "aZ"},
        {{0x80}, "\xE2\x82\xAC"},
        {{0x81, 0x8D, 0x8F, 0x90, 0x9D}, "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {{0x8A, 0x9F}, "\xC5\xA0\xC5\xB8"},
        {{0xA0, 0xE4, 0xFF}, "\xC2\xA0\xC3\xA4\xC3\xBF"},
    };
    for (const auto &c : cases) {
        std::string out;
        ASSERT_TRUE(cp1252ToUtf8(c.in, out));
        EXPECT_EQ(out, c.utf8);
    }
}

TEST(ArkfileText, Utf8ToUtf16) {
    struct Case {
        std::string in;
        bool ok;
        std::u16string out;
    };
    const Case cases[] = {
        {"abc", true, u"abc"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC",
         true, u"Gr\u00FC\u00DFe \u20AC"},
        {"\xF0\x9F\x94\x91", true, u"\U0001F511"},
        {"\xC3", false, u""},
        {"\xC0\xAF", false, u""},          // overlong
        {"\xED\xA0\x80", false, u""},      // surrogate
        {"\xF4\x90\x80\x80", false, u""},  // above U+10FFFF
        {"\x80", false, u""},
    };
    for (const auto &c : cases) {
        std::u16string out;
        EXPECT_EQ(utf8ToUtf16(c.in, out), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(out, c.out);
        }
    }
}

}  // namespace
