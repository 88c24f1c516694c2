// arkfile's commands for other password managers, run as a program: round trips through CSV and
// KeePass XML (also through Debian's KeePassXC when it is installed), the other managers' CSV
// exports, and refusals that leave nothing behind.
#include "exchange_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

struct Result {
    int code;
    std::string out;
    std::string err;
};

// A program run in its own session (no terminal to ask a password on), its standard input
// from a file or empty, its output caught.
Result runProgram(const fs::path &dir, const std::vector<std::string> &args,
                  const std::string &input = "") {
    const fs::path in = dir / ".stdin", out = dir / ".stdout", err = dir / ".stderr";
    writeAll(in, input);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        if (!std::freopen(in.c_str(), "rb", stdin) || !std::freopen(out.c_str(), "wb", stdout) ||
            !std::freopen(err.c_str(), "wb", stderr))
            ::_exit(127);
        std::vector<std::string> copy = args;
        std::vector<char *> argv;
        for (auto &a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err)};
    fs::remove(in);
    fs::remove(out);
    fs::remove(err);
    return r;
}

std::string str(const ByteString &b) { return std::string(b.begin(), b.end()); }

// More than twenty objects with what the formats must carry: umlauts, TAB, CR LF, backslashes,
// 255-byte fields, empty fields, titles that clash with KeePass's own keys, three categories and
// none, both flags.
std::vector<TextLine> fixtureObjects() {
    const std::vector<std::vector<std::string>> rows = {
        {"Name", "Girokonto", "PIN", "4711", "Bemerkung", "Zeile 1\r\nZeile 2", "Bank", "1"},
        {"Name",
         "K\xFC"
         "che \x80 \xE4\xF6\xDF",
         "Seriennummer", "a\tb\\c", "Bemerkung", "", "", "0"},
        {"Name", std::string(255, 'x'), "Seriennummer", std::string(255, '\xFC'), "Bemerkung",
         std::string(255, '\\'), "Privat/Alt", "1"},
        {"Name", "", "Seriennummer", "", "Bemerkung", "",
         "K\xFC"
         "che",
         "1"},
        {"Name", "leer 2", "Seriennummer", "", "Bemerkung", "nur drei", "", "1"},
        {"Konto", "Sparbuch", "Password", "geheim", "Password", "auch geheim", "Bank", "0"},
        {"Title", "titel", "Title", "zwei", "Arkel fields", "drei", "Bank", "1"},
        {"Name", "url", "URL", "https://example.org/?a=1&b=<2>", "Notes", "\"quoted\", comma", "",
         "1"},
        {"Name", "tab\ttitle", "Feld\tmit TAB", "x", "Back\\slash", "y", "Privat/Alt", "0"},
        {"Name", " spaces ", "Seriennummer", "  ", "Bemerkung", "trailing ", "", "1"},
        {"Name", "crlf", "Seriennummer", "\r\n", "Bemerkung", "a\r\n\r\nb\r\n",
         "K\xFC"
         "che",
         "1"},
        {"Name", "\xA7 \xB5 \xE9 \x93quotes\x94 \x85", "Seriennummer", "\x99", "Bemerkung", "\xA9",
         "Bank", "1"},
    };
    std::vector<TextLine> lines;
    for (const auto &r : rows) {
        TextLine l;
        for (std::size_t c = 0; c < kColumnCount; ++c) l[c].assign(r[c].begin(), r[c].end());
        lines.push_back(l);
    }
    for (int i = 0; lines.size() < 24; ++i) {
        TextLine l;
        const std::string cols[] = {"Name",
                                    "Objekt " + std::to_string(i),
                                    "Seriennummer",
                                    "pw" + std::to_string(i * 7919),
                                    "Bemerkung",
                                    i % 2 ? "ungerade" : "",
                                    i % 3 ? "Bank" : "",
                                    i % 2 ? "1" : "0"};
        for (std::size_t c = 0; c < kColumnCount; ++c) l[c].assign(cols[c].begin(), cols[c].end());
        lines.push_back(l);
    }
    return lines;
}

std::string exchangeFile(const std::vector<TextLine> &lines, bool encrypted) {
    PasswordKeys keys;
    makePasswordKeys(u"Sommer2024!", keys);
    ByteString file;
    if (encrypted) appendMarker(file, keys);
    for (const TextLine &l : lines) appendRecordLine(file, l, encrypted, keys);
    return str(file);
}

// The lines of a plain exchange file, sorted: the formats keep objects, not their order.
std::vector<std::string> sortedLines(const std::string &file) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(file.substr(start, end - start));
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Formats : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/arkfile-formats-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        writeAll(path("pw"), "Sommer2024!\n");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string &name) const { return dir_ / name; }
    Result arkfile(std::vector<std::string> args) {
        args.insert(args.begin(), ARKFILE_PATH);
        return runProgram(dir_, args);
    }
    int mode(const std::string &name) const {
        struct stat st {};
        ::stat(path(name).c_str(), &st);
        return static_cast<int>(st.st_mode & 0777);
    }

    fs::path dir_;
};

TEST_F(Formats, CsvRoundTripGivesTheSameBytes) {
    const std::vector<TextLine> objects = fixtureObjects();
    for (bool encrypted : {false, true}) {
        const std::string in = encrypted ? "in.ark" : "in.txt";
        writeAll(path(in), exchangeFile(objects, encrypted));
        for (const char *field : {"2", "3", "none"}) {
            Result r = arkfile({"export-csv", path(in), "-o", path("out.csv"), "--password-field",
                                field, "--password-file", path("pw")});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(mode("out.csv"), 0600);
            EXPECT_NE(r.err.find("out.csv is plain text"), std::string::npos) << r.err;
            const std::string back = encrypted ? "back.ark" : "back.txt";
            r = arkfile(
                {"import-csv", path("out.csv"), "-o", path(back), "--password-file", path("pw")});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_NE(r.err.find("read as arkfile's own CSV"), std::string::npos) << r.err;
            EXPECT_EQ(readAll(path(back)), readAll(path(in))) << field;
            EXPECT_EQ(mode(back), 0600);
        }
    }
}

TEST_F(Formats, XmlRoundTripKeepsObjectsTitlesCategoriesAndFlags) {
    const std::string original = exchangeFile(fixtureObjects(), false);
    writeAll(path("in.ark"), exchangeFile(fixtureObjects(), true));
    Result r = arkfile(
        {"export-xml", path("in.ark"), "-o", path("out.xml"), "--password-file", path("pw")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(mode("out.xml"), 0600);
    r = arkfile({"import-xml", path("out.xml"), "-o", path("back.txt")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(sortedLines(readAll(path("back.txt"))), sortedLines(original));
}

bool haveKeePassXc() { return std::system("command -v keepassxc-cli >/dev/null 2>&1") == 0; }

// keepassxc-cli asks for the database password on standard input; without a display it needs
// none (QT_QPA_PLATFORM=offscreen keeps it from looking for one).
Result keepassxc(const fs::path &dir, std::vector<std::string> args, const std::string &input) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    args.insert(args.begin(), "keepassxc-cli");
    return runProgram(dir, args, input);
}

TEST_F(Formats, RoundTripThroughKeePassXc) {
    if (!haveKeePassXc())
        GTEST_SKIP() << "keepassxc-cli is not installed (Debian package keepassxc); "
                        "scripts/deps.sh installs it where it can";
    const std::string original = exchangeFile(fixtureObjects(), false);
    writeAll(path("in.txt"), original);
    Result r = arkfile({"export-xml", path("in.txt"), "-o", path("out.xml")});
    ASSERT_EQ(r.code, 0) << r.err;

    r = keepassxc(dir_, {"import", "-q", "-p", "-t", "100", path("out.xml"), path("db.kdbx")},
                  "db-pass\ndb-pass\n");
    ASSERT_EQ(r.code, 0) << r.err;
    r = keepassxc(dir_, {"export", "-q", path("db.kdbx")}, "db-pass\n");
    ASSERT_EQ(r.code, 0) << r.err;
    writeAll(path("kp.xml"), r.out);
    r = keepassxc(dir_, {"export", "-q", "--format", "csv", path("db.kdbx")}, "db-pass\n");
    ASSERT_EQ(r.code, 0) << r.err;
    writeAll(path("kp.csv"), r.out);

    r = arkfile({"import-xml", path("kp.xml"), "-o", path("back.txt")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(sortedLines(readAll(path("back.txt"))), sortedLines(original));

    // KeePassXC's CSV has fixed columns: the group, Title (field 1) and Password (field 2) come
    // back; fields under titles of their own do not, except one titled Notes (added to field 3
    // here), and every object is taken as one to encrypt.
    r = arkfile({"import-csv", path("kp.csv"), "-o", path("csv.txt"), "--extra-to-field", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("read as a KeePassXC CSV export"), std::string::npos);
    auto bytes = [](const std::string &s) { return ByteString(s.begin(), s.end()); };
    std::string expected;
    for (const TextLine &l : fixtureObjects()) {
        TextLine e = l;
        e[colTitle1] = bytes("Title");
        e[colTitle2] = bytes("Password");
        e[colTitle3] = bytes("Username");
        e[colValue3] =
            str(l[colTitle3]) == "Notes" ? bytes("Notes: " + str(l[colValue3])) : ByteString{};
        e[colFlag] = bytes("1");
        ByteString line;
        appendRecordLine(line, e, false, PasswordKeys{});
        expected += str(line);
    }
    EXPECT_EQ(sortedLines(readAll(path("csv.txt"))), sortedLines(expected));
}

// Hand-made exports of the other managers, and where their columns go.
TEST_F(Formats, OtherManagersCsvIsRecognisedByItsHeader) {
    struct Case {
        std::string name;
        std::string csv;
        std::vector<std::string> options;
        std::string exchange;
    };
    const Case cases[] = {
        {"Bitwarden",
         "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,"
         "login_password,login_totp\n"
         "Bank,1,login,Giro,,,0,,anna,\"p,w\",\n"
         ",,login,Mail,\"zwei\nZeilen\",,0,https://mail,bob,pw,\n",
         {"--extra-to-field", "3"},
         "name\tGiro\tlogin_password\tp,w\tlogin_username\tanna\tBank\t1\r\n"
         "name\tMail\tlogin_password\tpw\tlogin_username\tbob\\r\\nnotes: zwei\\r\\nZeilen\\r\\n"
         "login_uri: https://mail\t\t1\r\n"},
        {"Chrome",
         "\xEF\xBB\xBFname,url,username,password,note\r\n"
         "K\xC3\xBC"
         "che,https://k,k\xC3\xA4the,\"a \"\"b\"\"\",\r\n",
         {"--drop", "url"},
         "name\tK\xFC"
         "che\tpassword\ta \"b\"\tusername\tk\xE4the\t\t1\r\n"},
        {"Firefox",
         "\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\","
         "\"timeCreated\",\"timeLastUsed\",\"timePasswordChanged\"\n"
         "\"https://a\",\"u\",\"p\",,\"https://a\",\"{1}\",\"1\",\"2\",\"3\"\n",
         {"--password-field", "3"},
         "url\thttps://a\tusername\tu\tpassword\tp\t\t1\r\n"},
        {"generic with --map",
         "Konto;Kennung;Geheim;Ordner;Verschl\xFCsseln\r\nGiro;4711;x;Bank;0\r\n",
         {"--separator", ";", "--encoding", "windows-1252", "--map",
          "1=Konto,2=Geheim,3=#2,category=Ordner,encrypt=Verschl\xC3\xBCsseln", "--title",
          "3=Nummer"},
         "Konto\tGiro\tGeheim\tx\tNummer\t4711\tBank\t0\r\n"},
    };
    for (const Case &c : cases) {
        writeAll(path("in.csv"), c.csv);
        std::vector<std::string> args = {"import-csv", path("in.csv"), "-o", path("out.txt")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = arkfile(args);
        ASSERT_EQ(r.code, 0) << c.name << ": " << r.err;
        EXPECT_EQ(readAll(path("out.txt")), c.exchange) << c.name;
        fs::remove(path("out.txt"));
    }
}

TEST_F(Formats, RefusedInputWritesNothing) {
    std::string tooMany = "a,b\n";
    for (int i = 0; i < 65536; ++i) tooMany += "x,y\n";
    struct Case {
        std::string command;
        std::string input;
        std::vector<std::string> options;
        std::string lastLine;  // of stderr, after "FILE"
    };
    const Case cases[] = {
        {"import-csv", tooMany, {"--map", "1=a,2=b"}, ": nothing written (1 problem)"},
        {"import-csv", "name,url,username,password\nx,\"y\n", {}, "malformed CSV"},
        {"import-csv", "name,url,username,password\nx,y\n", {}, "2 columns, but the header has 4"},
        {"import-csv", "a,b\nx,y\n", {}, "is none of a known manager's"},
        {"import-csv", "", {}, ": no header row; nothing written"},
        {"import-xml",
         "<!DOCTYPE KeePassFile><KeePassFile/>",
         {},
         "(<!DOCTYPE>), which is refused"},
        {"import-xml",
         "<KeePassFile><Root><Group><Entry><String><Key>Title</Key><Value>t</Value></String>"
         "<String><Key>URL</Key><Value>u</Value></String></Entry></Group></Root></KeePassFile>",
         {},
         ": nothing written (1 problem)"},
    };
    for (const Case &c : cases) {
        writeAll(path("in"), c.input);
        writeAll(path("out.txt"), "old");
        std::vector<std::string> args = {c.command, path("in"), "-o", path("out.txt")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = arkfile(args);
        EXPECT_EQ(r.code, 1) << c.lastLine;
        EXPECT_NE(r.err.find(c.lastLine), std::string::npos) << r.err;
        EXPECT_EQ(readAll(path("out.txt")), "old");
    }
    writeAll(path("in"), tooMany);
    const Result r = arkfile({"import-csv", path("in"), "-o", path("out.txt"), "--map", "1=a"});
    EXPECT_NE(r.err.find("row 65537: more than 65535 objects"), std::string::npos) << r.err;

    // An object that KeePass XML cannot carry is named with its line and column.
    writeAll(path("in.txt"), "Name\ta\x07\tS\tb\tB\tc\t\t1\r\n");
    const Result x = arkfile({"export-xml", path("in.txt"), "-o", path("out.xml")});
    EXPECT_EQ(x.code, 1);
    EXPECT_NE(x.err.find("in.txt:1: column 2 (field 1): byte 0x07, a control character"),
              std::string::npos)
        << x.err;
    EXPECT_FALSE(fs::exists(path("out.xml")));
}

TEST_F(Formats, UsageErrors) {
    writeAll(path("in.txt"), "");
    const std::vector<std::vector<std::string>> usage = {
        {"export-csv", path("in.txt"), "--password-field", "1"},
        {"import-csv", path("in.txt")},
        {"import-csv", path("in.txt"), "-o", path("o.txt"), "--extra-to-field", "4"},
        {"import-xml", path("in.txt"), "-o", path("o.txt"), "--separator", ";"},
        {"export-xml", path("in.txt"), "--allow-truncate"},
    };
    for (const auto &args : usage) {
        const Result r = arkfile(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args.back();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    writeAll(path("h.csv"), "a,b\nx,y\n");
    const Result unknown =
        arkfile({"import-csv", path("h.csv"), "-o", path("o.txt"), "--map", "1=c"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("no column is named 'c' (use #N; the columns: a, b)"),
              std::string::npos)
        << unknown.err;
    for (const char *command : {"export-csv", "export-xml", "import-csv", "import-xml"}) {
        const Result r = arkfile({command, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: arkfile ") + command, 0), 0u);
    }
    EXPECT_NE(arkfile({"--help"}).out.find("import-xml IN -o OUT"), std::string::npos);
}

}  // namespace
