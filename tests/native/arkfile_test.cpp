// The arkfile tool, run as a program in a fresh directory per test, and its text conversions.
#include "exchange_codec.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
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
        ::waitpid(pid, &status, 0);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err)};
        fs::remove(out);
        fs::remove(err);
        return r;
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
    writeAll(path("in.txt"), "\tA\t\tB\t\tC\tKat\t10\r\nT\tX\tU\tY\tV\tZ\t\t-1\r\ntrailing bytes");
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
