// Export and import through their real dialogs: the file dialogs and the password dialogs are
// answered by the test, the files are read and written with the exchange codec.
#include <gtest/gtest.h>
#include <windows.h>

#include <dlgs.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "exchange/exchange_codec.h"
#include "exchange/export.h"
#include "exchange/import.h"
#include "exchange/test_seam.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kProgramPassword[] = L"Programm-Passwort";
const wchar_t kFilePassword[] = L"Datei-Passwort";
const wchar_t kCancelled[] = L"Importieren abgebrochen.";
const wchar_t kBadFormat[] =
    L"Diese Datei kann nicht importiert werden, da sie das falsche Format hat.";
const wchar_t kDeleteQuestion[] =
    L"Sollen die vorhandenen Daten vor dem Importieren der neuen Daten gel\u00f6scht werden?";
const wchar_t kNoPassword[] =
    L"Ohne Passwort k\u00f6nnen die Daten nicht verschl\u00fcsselt exportiert werden.\nW\u00e4hlen "
    L"Sie .txt oder geben Sie ein Passwort an.";
const wchar_t kWrongPassword[] = L"Das Passwort ist falsch. Bitte geben Sie es nochmals ein!";

enum Filter { kArk = 1, kTxt = 2, kAll = 3 };

std::string Bytes(const std::vector<BYTE> &v) { return std::string(v.begin(), v.end()); }

PasswordKeys KeysOf(const wchar_t *password) {
    PasswordKeys keys;
    makePasswordKeys(reinterpret_cast<const char16_t *>(password), keys);
    return keys;
}

std::function<void(HWND)> Cancel() {
    return [](HWND d) { PressButton(d, IDCANCEL); };
}

class ExchangeTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        ImportReadFile = ReadFile;
    }
    void TearDown() override {
        ImportReadFile = ReadFile;
        for (const std::wstring &f : files) {
            SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(f.c_str());
        }
        ShellTest::TearDown();
    }
    std::wstring NewFile(const wchar_t *ending) {
        files.push_back(TempPath(ending));
        return files.back();
    }
    // Runs a command to its end while the driver answers its dialogs; every queued step must
    // have been used and no dialog may have come unasked.
    void Run(UiDriver &ui, UINT command) {
        MenuCommand(command);
        PumpShellFor(100);
        EXPECT_EQ(ui.pendingSteps(), 0u) << "a dialog did not come";
        EXPECT_EQ(ui.unexpected(), 0) << "a dialog came unasked";
    }
    void ProgramPassword() {
        WCHAR copy[129];
        lstrcpyW(copy, kProgramPassword);
        objectStore.setPassword(copy);
    }
    void ExpectProgramPassword(const char *after) {
        EXPECT_STREQ(objectStore.passwordText, kProgramPassword) << after;
        PasswordKeys keys = KeysOf(kProgramPassword);
        EXPECT_EQ(objectStore.keys.key1, keys.key1) << after;
        EXPECT_EQ(objectStore.keys.key2, keys.key2) << after;
        EXPECT_EQ(objectStore.keys.key3, keys.key3) << after;
        // Nothing of a longer file password stays behind the terminator.
        for (size_t i = lstrlenW(kProgramPassword) + 1; i < 129; ++i)
            ASSERT_EQ(objectStore.passwordText[i], 0) << after << ": unit " << i;
    }
    // The texts of every stored object, one string per object, in store order.
    std::vector<std::wstring> Objects() {
        std::vector<std::wstring> all;
        WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
            std::wstring line;
            for (WORD i = 0; i < count; ++i) {
                if (TypeFromPropID(props[i].propid) == CEVT_LPWSTR)
                    line += props[i].val.lpwstr;
                else
                    line += std::to_wstring(props[i].val.iVal);
                line += L"|";
            }
            all.push_back(line);
            return true;
        });
        return all;
    }
    std::vector<std::wstring> Names(NameList &list) {
        std::vector<std::wstring> names;
        WalkDatabase(list.hDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
            for (WORD i = 0; i < count; ++i)
                if (props[i].propid == PROP_NAME) names.push_back(props[i].val.lpwstr);
            return true;
        });
        return names;
    }
    void Import(const std::wstring &path, int answer, int expectedMessages = 0) {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.answerMessageBox(answer);
        ui.answerMessageBox(IDOK);  // how many objects were read
        Run(ui, IDM_IMPORT);
        EXPECT_EQ(ui.seen().size(), 3u + expectedMessages);
    }

    std::vector<std::wstring> files;
};

// Before a plain file is written: the question whether every object may go unencrypted, answered
// "Ja".
void AllowPlain(UiDriver &ui) { ui.answerMessageBox(IDYES); }
// After an export or import: the message that says how many objects it wrote or read.
void CountSaid(UiDriver &ui) { ui.answerMessageBox(IDOK); }

// A password dialog shows the file's short name as its title. (A dialog procedure that is still a
// placeholder shows none.)
void ExpectTitle(const std::wstring &title, const std::wstring &path) {
    if (title.empty()) return;
    EXPECT_EQ(title, path.substr(path.find_last_of(L'\\') + 1));
}

ObjectRecord Object(const wchar_t *f1, const wchar_t *f2, const wchar_t *f3,
                    const wchar_t *category, short encrypt = 1) {
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, f1);
    lstrcpyW(o.field2, f2);
    lstrcpyW(o.field3, f3);
    lstrcpyW(o.category, category);
    o.encrypt = encrypt;
    return o;
}

// ---- Export ---------------------------------------------------------------------------------

TEST_F(ExchangeTest, AnEmptyStoreExportsAsAnEmptyFileOrTheMarkerAlone) {
    Start();
    ProgramPassword();
    struct Case {
        const char *what;
        Filter filter;
        const wchar_t *ending;
        bool encrypted;
    } cases[] = {
        {"encrypted", kArk, L".ark", true},
        {"plain", kTxt, L".txt", false},
        {"all files: plain, whatever the name", kAll, L".ark", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = NewFile(c.ending);
        UiDriver ui;
        std::wstring title, passwordTitle;
        ui.onNextDialog(ChooseFile(path, c.filter, &title));
        if (c.encrypted) ui.onNextDialog(AnswerPassword(kFilePassword, &passwordTitle));
        if (!c.encrypted) AllowPlain(ui);
        CountSaid(ui);
        Run(ui, IDM_EXPORT);
        EXPECT_EQ(title, L"Daten exportieren");
        EXPECT_EQ(ui.seen().back().text, L"0 Objekte wurden in die Datei \"" +
                                             path.substr(path.find_last_of(L'\\') + 1) +
                                             L"\" exportiert.");
        std::string file = Bytes(ReadWholeFile(path));
        if (c.encrypted) {
            ExpectTitle(passwordTitle, path);
            ASSERT_EQ(file.size(), 45u);
            EXPECT_EQ(file.substr(0, 11), "encrypted\r\n");
            EXPECT_EQ(file.substr(43), "\r\n");
            EXPECT_TRUE(markerCheckMatches(asBytes(file.substr(11, 32)), KeysOf(kFilePassword)));
        } else {
            EXPECT_EQ(file, "");
            EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        }
        ExpectProgramPassword(c.what);
    }
}

TEST_F(ExchangeTest, FieldsAreEscapedInPlainFilesAndEncryptedUnderTheFilePassword) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ObjectRecord special = Object(L"Tab\there", L"a\\b", L"Zeile1\r\nZeile2", L"K\u00fcche", 0);
    lstrcpyW(special.title2, L"");  // an empty title is written as the default
    objectStore.addObject(special);
    objectStore.addObject(Object(L"\u00c4rger", L"\u20ac 5", L"", L""));
    ResetGlobalStores();
    Start();

    // "Ärger" sorts like "Arger", before "Tab".
    const std::string lines =
        "Name\t\xc4rger\tSeriennummer\t\x80 5\tBemerkung\t\t\t1\r\n"
        "Name\tTab\\there\tSeriennummer\ta\\\\b\tBemerkung\tZeile1\\r\\nZeile2\tK\xfc"
        "che\t0\r\n";
    std::wstring plain = NewFile(L".txt");
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(plain, kTxt));
        AllowPlain(ui);
        CountSaid(ui);
        Run(ui, IDM_EXPORT);
    }
    EXPECT_EQ(Bytes(ReadWholeFile(plain)), lines);

    std::wstring encrypted = NewFile(L".ark");
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(encrypted, kArk));
        ui.onNextDialog(AnswerPassword(kFilePassword));
        CountSaid(ui);
        Run(ui, IDM_EXPORT);
    }
    std::string file = Bytes(ReadWholeFile(encrypted));
    ASSERT_GT(file.size(), 45u);
    for (char c : file.substr(45))
        ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '\t' || c == '\r' ||
                    c == '\n')
            << "only hex digits in the fields";
    // Decrypted with the file password, the lines are the plain file's.
    std::vector<RawLine> raw;
    ASSERT_EQ(splitRecordLines(asBytes(file), raw), 0);
    ByteString decoded;
    for (const RawLine &line : raw) {
        TextLine text;
        for (size_t c = 0; c < kColumnCount; ++c)
            text[c] = decodeField(line[c], true, KeysOf(kFilePassword));
        appendRecordLine(decoded, text, false, PasswordKeys{});
    }
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), lines);
    // Field 1 of the second line: "Tab<TAB>here" is 8 bytes, 16 digits.
    EXPECT_EQ(raw[1][colValue1].size(), 16u);
}

// Characters outside Windows-1252 (Greek, Cyrillic, CJK, emoji) cannot be written exactly: the
// export names the objects and fields and asks, "Nein" by default; "Nein" leaves no file.
TEST_F(ExchangeTest, ExportAsksBeforeWritingCharactersTheFileCannotHold) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    objectStore.addObject(Object(L"Athen", L"\u0391\u03b8\u03ae\u03bd\u03b1", L"", L""));
    objectStore.addObject(
        Object(L"Moskau", L"M-1", L"\u041c\u043e\u0441\u043a\u0432\u0430", L"Reise \u2708"));
    objectStore.addObject(Object(L"Smiley \U0001F600", L"S", L"", L""));
    objectStore.addObject(Object(L"\u00c4rger", L"\u20ac 5", L"", L""));  // all in Windows-1252
    ResetGlobalStores();
    Start();
    const std::wstring expected =
        L"Einige Zeichen k\u00f6nnen in der Datei nicht genau gespeichert werden (nur Zeichen aus "
        L"Windows-1252) und w\u00fcrden durch \"?\" oder \u00e4hnliche Zeichen ersetzt:\n"
        L"- Athen (Feld 2)\n- Moskau (Feld 3, Kategorie)\n- Smiley \U0001F600 (Feld 1)\n\n"
        L"Trotzdem exportieren?";
    for (int kind : {kTxt, kArk}) {
        for (int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(testing::Message() << kind << " " << answer);
            std::wstring path = NewFile(kind == kTxt ? L".txt" : L".ark");
            UiDriver ui;
            int defaultButton = 0;
            ui.onNextDialog(ChooseFile(path, kind));
            if (kind == kArk) ui.onNextDialog(AnswerPassword(kFilePassword));
            if (kind == kTxt) AllowPlain(ui);
            ui.onNextDialog([&](HWND box) {
                defaultButton = DefaultButton(box);
                PressButton(box, answer);
            });
            if (answer == IDYES) CountSaid(ui);
            Run(ui, IDM_EXPORT);
            ASSERT_EQ(ui.seen().size(), answer == IDYES ? 4u : 3u);
            EXPECT_EQ(ui.seen()[2].text, expected);
            EXPECT_EQ(defaultButton, IDNO);
            EXPECT_EQ(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, answer == IDYES);
        }
    }
}

TEST_F(ExchangeTest, AFailedExportSaysSoAndLeavesTheOldFile) {
    Prepare({{L"Anton", L"", L"1"}});
    Start();
    ProgramPassword();
    std::wstring path = NewFile(L".ark");
    const char old[] = "die alte Sicherung\r\n";
    WriteWholeFile(path, old, sizeof old - 1);
    {
        // Cancelled file password: the message, no file written.
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, kArk));
        ui.answerMessageBox(IDYES);  // replace the existing file?
        ui.onNextDialog(Cancel());
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_EXPORT);
        ASSERT_EQ(ui.seen().size(), 4u);
        EXPECT_EQ(ui.seen()[3].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[3].text, kNoPassword);
        ExpectProgramPassword("cancelled file password");
    }
    // A file that cannot be replaced (it is in use, unshared) keeps its content.
    HANDLE inUse = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, kArk));
        ui.answerMessageBox(IDYES);
        ui.onNextDialog(AnswerPassword(kFilePassword));
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_EXPORT);
        ASSERT_EQ(ui.seen().size(), 4u);
        EXPECT_EQ(ui.seen()[3].caption, L"The Arkel");
        EXPECT_NE(ui.seen()[3].text.find(L"konnte nicht geschrieben werden"), std::wstring::npos)
            << Utf8(ui.seen()[3].text);
        ExpectProgramPassword("failed export");
    }
    CloseHandle(inUse);
    EXPECT_EQ(Bytes(ReadWholeFile(path)), old);
    // Nothing is left beside it.
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"~ark*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Utf8(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// A plain file shows every secret to whoever reads it: the export asks first, "Nein" by default,
// and "Nein" writes nothing. Export and import then say how many objects they wrote or read.
TEST_F(ExchangeTest, APlainExportAsksFirstAndExchangesSayHowManyObjects) {
    Prepare({{L"Anton", L"", L"1"}, {L"Berta", L"Privat", L"2"}});
    Start();
    std::wstring path = NewFile(L".txt");
    const std::wstring shortName = path.substr(path.find_last_of(L'\\') + 1);
    {
        UiDriver ui;
        int defaultButton = 0;
        ui.onNextDialog(ChooseFile(path, kTxt));
        ui.onNextDialog([&](HWND box) {
            defaultButton = DefaultButton(box);
            PressButton(box, IDNO);
        });
        Run(ui, IDM_EXPORT);
        ASSERT_EQ(ui.seen().size(), 2u);
        EXPECT_EQ(ui.seen()[1].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[1].text,
                  L"Alle Objekte unverschl\u00fcsselt in die Datei \"" + shortName +
                      L"\" schreiben?\nJeder, der die Datei lesen kann, sieht dann auch alle "
                      L"Passw\u00f6rter.");
        EXPECT_EQ(defaultButton, IDNO);
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing written";
    }
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, kTxt));
        AllowPlain(ui);
        CountSaid(ui);
        Run(ui, IDM_EXPORT);
        ASSERT_EQ(ui.seen().size(), 3u);
        EXPECT_EQ(ui.seen()[2].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[2].text,
                  L"2 Objekte wurden in die Datei \"" + shortName + L"\" exportiert.");
    }
    // Read back one line of it: one object, said in the singular.
    const std::string one = "Name\tCaesar\tSer\t3\tBem\t\t\t1\r\n";
    WriteWholeFile(path, one.data(), one.size());
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.answerMessageBox(IDNO);
        CountSaid(ui);
        Run(ui, IDM_IMPORT);
        ASSERT_EQ(ui.seen().size(), 3u);
        EXPECT_EQ(ui.seen()[2].text,
                  L"1 Objekt wurde aus der Datei \"" + shortName + L"\" importiert.");
    }
    EXPECT_EQ(StoredObjects(), 3);
}

// ---- Import ---------------------------------------------------------------------------------

TEST_F(ExchangeTest, TheCheckPassTakesWholeFilesOrNothing) {
    Prepare({{L"Alt", L"", L"1"}});
    Start();
    const std::string good = "Name\tA\tSer\t1\tBem\t\tPrivat\t1\r\n";
    const std::string f255(255, 'x'), f256(256, 'x');
    // What the import says after the file dialog: the deletion question (the lines are taken,
    // the answer "Nein" adds them), or a message after which nothing has changed.
    enum Outcome { Added, BadFormat, NoObjects, Trailing, Lossy };
    struct Case {
        const char *what;
        std::string file;
        Outcome outcome;
        int added;
    } cases[] = {
        {"two lines", good + "Name\tB\tSer\t2\tBem\t\t\t0\r\n", Added, 2},
        {"six TABs", good + "Name\tB\tSer\t2\tBem\t\t0\r\n", BadFormat, 0},
        {"eight TABs", "Name\tB\tSer\t2\tBem\t\t\t\t0\r\n" + good, BadFormat, 0},
        {"255-byte field", "Name\t" + f255 + "\tSer\t2\tBem\t\t\t0\r\n", Added, 1},
        {"256-byte field", "Name\t" + f256 + "\tSer\t2\tBem\t\t\t0\r\n", BadFormat, 0},
        {"254 bytes escaped to 508", "Name\t" + std::string(254, '\\') + "\tS\t2\tB\t\t\t0\r\n",
         Added, 1},
        {"LF alone ends no line", "Name\tA\tSer\t1\tBem\t\t\t1\n" + good, BadFormat, 0},
        {"LF inside a line is skipped", "Name\tA\tSer\t1\tBem\t\t\t1\n\r\n", Added, 1},
        // Nothing to import: said so, and the existing data is never offered for deletion.
        {"empty file", "", NoObjects, 0},
        {"LF line ends only", "Name\tA\tSer\t1\tBem\t\t\t1\nName\tB\tSer\t2\tBem\t\t\t0\n",
         NoObjects, 0},
        {"the encrypted marker ended by LF", "encrypted\n0123456789ABCDEF0123456789ABCDEF\r\n",
         BadFormat, 0},
        // Bytes after the last CR are named in a question whose default is "Nein".
        {"text after the last CR", good + "Name\tB\tSer", Trailing, 0},
        // A NUL inside a field would cut it short: named, with the same question.
        {"a NUL inside a field", good + std::string("Name\tB\0C\tSer\t2\tBem\t\t\t0\r\n", 26),
         Lossy, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> before = Objects();
        std::wstring path = NewFile(L".txt");
        const std::wstring shortName = path.substr(path.find_last_of(L'\\') + 1);
        WriteWholeFile(path, c.file.data(), c.file.size());
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        int defaultButton = 0;
        const bool question = c.outcome == Trailing || c.outcome == Lossy;
        if (question) {
            ui.onNextDialog([&](HWND box) {
                defaultButton = DefaultButton(box);
                PressButton(box, IDNO);
            });
            ui.answerMessageBox(IDOK);
        } else {
            ui.answerMessageBox(c.outcome == Added ? IDNO : IDOK);
            if (c.outcome == Added) CountSaid(ui);
        }
        Run(ui, IDM_IMPORT);
        ASSERT_EQ(ui.seen().size(), c.outcome == Added || question ? 3u : 2u);
        const std::wstring &text = ui.seen()[1].text;
        switch (c.outcome) {
        case Added:
            EXPECT_EQ(ui.seen()[1].caption, shortName);
            EXPECT_EQ(text, kDeleteQuestion);
            break;
        case BadFormat:
            EXPECT_EQ(ui.seen()[1].caption, shortName);
            EXPECT_EQ(text, kBadFormat);
            break;
        case NoObjects:
            EXPECT_EQ(text, L"Die Datei \"" + shortName +
                                L"\" enth\u00e4lt keine vollst\u00e4ndige Zeile eines Objekts. Es "
                                L"wurde nichts importiert, die vorhandenen Daten sind "
                                L"unver\u00e4ndert.");
            break;
        case Trailing:
            EXPECT_EQ(text, L"Die Datei \"" + shortName +
                                L"\" endet mit Zeichen nach der letzten vollst\u00e4ndigen Zeile. "
                                L"Diese Zeichen werden nicht importiert. Trotzdem importieren?");
            EXPECT_EQ(defaultButton, IDNO);
            EXPECT_EQ(ui.seen()[2].text, L"Importieren abgebrochen.");
            break;
        case Lossy:
            EXPECT_EQ(text, L"Die Datei \"" + shortName +
                                L"\" enth\u00e4lt 1 Zeile(n) mit Feldern, die nicht "
                                L"vollst\u00e4ndig importiert werden k\u00f6nnen (zuerst Zeile 2, "
                                L"Spalte 2: ein Nullzeichen, was ihm folgt, fehlt). Trotzdem "
                                L"importieren?");
            EXPECT_EQ(defaultButton, IDNO);
            EXPECT_EQ(ui.seen()[2].text, L"Importieren abgebrochen.");
            break;
        }
        EXPECT_EQ(Objects().size(), before.size() + static_cast<size_t>(c.added));
        if (c.outcome != Added) {
            EXPECT_EQ(Objects(), before) << "nothing changed";
        }
    }
    // "Ja" to the question about the bytes after the last CR imports the complete lines.
    {
        const size_t before = Objects().size();
        std::wstring path = NewFile(L".txt");
        const std::string file = good + "Name\tB\tSer";
        WriteWholeFile(path, file.data(), file.size());
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.answerMessageBox(IDYES);
        ui.answerMessageBox(IDNO);
        CountSaid(ui);
        Run(ui, IDM_IMPORT);
        EXPECT_EQ(Objects().size(), before + 1);
    }
    std::vector<std::wstring> all = Objects();
    EXPECT_NE(std::find(all.begin(), all.end(), L"A|1||Privat|Name|Ser|Bem|1|"), all.end());
    EXPECT_EQ(Names(titleList2), (std::vector<std::wstring>{L"S", L"Ser", L"Seriennummer"}));
}

TEST_F(ExchangeTest, ImportedObjectsAndCategoriesTakeTheirFlagsAndTitlesFromTheLines) {
    Start();
    const std::string file =
        "T1\ta\tT2\tb\tT3\tc\tNeu\t10\r\n"   // creates "Neu" with these titles, flag 1
        "X1\td\tX2\te\tX3\tf\tNeu\t0\r\n"    // "Neu" exists: unchanged
        "Name\tg\tSer\th\tBem\ti\t\t-1\r\n"  // no category
        "Name\tj\tSer\tk\tBem\tl\t\t\r\n"    // empty flag
        "Name\tm\tSer\tn\tBem\to\t\t0\r\n"
        "Name\tp\tSer\tq\tBem\tr\t\t1\r\n";
    std::wstring path = NewFile(L".txt");
    WriteWholeFile(path, file.data(), file.size());
    Import(path, IDNO);
    const wchar_t *names[] = {L"a", L"d", L"g", L"j", L"m", L"p"};
    const short flags[] = {1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 6; ++i) {
        ObjectRecord o;
        objectStore.readVisible(i, &o);
        EXPECT_STREQ(o.field1, names[i]);
        EXPECT_EQ(o.encrypt, flags[i]) << i;
    }
    WCHAR t1[256], t2[256], t3[256];
    short encrypt = -1;
    categoryStore.readCategory(L"Neu", t1, t2, t3, &encrypt);
    EXPECT_STREQ(t1, L"T1");
    EXPECT_STREQ(t3, L"T3");
    EXPECT_EQ(encrypt, 1);
    EXPECT_EQ(Rows(), 6) << "the list is filled again";
}

TEST_F(ExchangeTest, EncryptedImportAsksUntilThePasswordIsRightAndRestoresTheProgramsOwn) {
    Start();
    ProgramPassword();
    ByteString file;
    PasswordKeys keys = KeysOf(kFilePassword);
    appendMarker(file, keys);
    TextLine line;
    const char *texts[] = {"Name", "Geheim", "Seriennummer", "123", "Bemerkung", "", "Bank", "1"};
    for (size_t c = 0; c < kColumnCount; ++c) line[c].assign(texts[c], texts[c] + strlen(texts[c]));
    appendRecordLine(file, line, true, keys);
    std::wstring path = NewFile(L".dat");  // the marker decides, not the name
    WriteWholeFile(path, file.data(), file.size());

    {
        UiDriver ui;
        std::wstring title;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.onNextDialog(Cancel());
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_IMPORT);
        ASSERT_EQ(ui.seen().size(), 3u);
        EXPECT_EQ(ui.seen()[2].text, kCancelled);
        ExpectProgramPassword("cancelled password");
    }
    {
        UiDriver ui;
        std::wstring title;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.onNextDialog(AnswerPassword(L"falsch-falsch", &title));
        ui.answerMessageBox(IDOK);
        ui.onNextDialog(AnswerPassword(L"wieder falsch"));
        ui.answerMessageBox(IDOK);
        ui.onNextDialog(AnswerPassword(kFilePassword));
        ui.answerMessageBox(IDCANCEL);  // at the deletion question
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_IMPORT);
        ASSERT_EQ(ui.seen().size(), 8u);
        ExpectTitle(title, path);
        EXPECT_EQ(ui.seen()[2].text, kWrongPassword);
        EXPECT_EQ(ui.seen()[2].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[6].text, kDeleteQuestion);
        EXPECT_EQ(ui.seen()[7].text, kCancelled);
        EXPECT_EQ(StoredObjects(), 0) << "Cancel at the question changes nothing";
        ExpectProgramPassword("cancelled question");
    }
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.onNextDialog(AnswerPassword(kFilePassword));
        ui.answerMessageBox(IDNO);
        CountSaid(ui);
        Run(ui, IDM_IMPORT);
        ExpectProgramPassword("import");
    }
    ObjectRecord o;
    objectStore.readVisible(0, &o);
    EXPECT_STREQ(o.field1, L"Geheim");
    EXPECT_STREQ(o.field2, L"123");
    EXPECT_STREQ(o.category, L"Bank");
}

// Encrypted fields that the import would shorten or garble (a lone last hex digit, a digit that is
// no uppercase hex digit, a NUL inside the text) are named before anything changes; "Nein" (the
// default) imports nothing, "Ja" imports every line.
TEST_F(ExchangeTest, EncryptedFieldsTheImportWouldChangeAreNamedFirst) {
    Start();
    ProgramPassword();
    PasswordKeys keys = KeysOf(kFilePassword);
    auto field = [&](std::string_view text) {
        ByteString out;
        appendEncryptedField(out, asBytes(text), keys);
        return std::string(out.begin(), out.end());
    };
    auto line = [&](const std::string &value) {
        return field("Name") + "\t" + value + "\t" + field("Nr") + "\t" + field("1") + "\t" +
               field("Bem") + "\t\t\t" + field("0") + "\r\n";
    };
    struct Case {
        std::string value;
        const wchar_t *reason;
    } cases[] = {
        {field("Geheim") + "A", L"eine ungerade Zahl von Hexziffern, die letzte fehlt"},
        {"g" + field("Geheim").substr(1), L"ein Zeichen, das keine Hexziffer ist"},
        {field(std::string("Geh\0eim", 7)), L"ein Nullzeichen, was ihm folgt, fehlt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Utf8(c.reason));
        ByteString head;
        appendMarker(head, keys);
        const std::string file =
            std::string(head.begin(), head.end()) + line(field("Gut")) + line(c.value);
        std::wstring path = NewFile(L".txt");
        const std::wstring shortName = path.substr(path.find_last_of(L'\\') + 1);
        WriteWholeFile(path, file.data(), file.size());
        const int before = StoredObjects();
        for (int answer : {IDNO, IDYES}) {
            UiDriver ui;
            ui.onNextDialog(ChooseFile(path, 0));
            ui.onNextDialog(AnswerPassword(kFilePassword));
            int defaultButton = 0;
            ui.onNextDialog([&](HWND box) {
                defaultButton = DefaultButton(box);
                PressButton(box, answer);
            });
            ui.answerMessageBox(answer == IDNO ? IDOK : IDNO);  // cancelled, or keep the data
            if (answer == IDYES) CountSaid(ui);
            Run(ui, IDM_IMPORT);
            ASSERT_EQ(ui.seen().size(), answer == IDYES ? 5u : 4u);
            EXPECT_EQ(ui.seen()[2].text, L"Die Datei \"" + shortName +
                                             L"\" enth\u00e4lt 1 Zeile(n) mit Feldern, die nicht "
                                             L"vollst\u00e4ndig importiert werden k\u00f6nnen "
                                             L"(zuerst Zeile 4, Spalte 2: " +
                                             c.reason + L"). Trotzdem importieren?");
            EXPECT_EQ(defaultButton, IDNO);
            EXPECT_EQ(StoredObjects(), before + (answer == IDYES ? 2 : 0));
        }
        ExpectProgramPassword("after the import");
    }
    wipeKeys(keys);
}

TEST_F(ExchangeTest, YesReplacesEverythingAtOnceOrNothingWhenTheFileFailsHalfWay) {
    Prepare({{L"Alt 1", L"Privat", L"1"}, {L"Alt 2", L"Arbeit", L"2"}});
    Start();
    const std::vector<std::wstring> objects = Objects();
    const std::vector<std::wstring> categories = Names(categoryStore);
    const std::vector<std::wstring> titles = Names(titleList1);
    std::string file;
    for (int i = 0; i < 200; ++i)
        file += "Titel\tNeu " + std::to_string(i) + "\tSer\t1\tBem\t\tNeu\t1\r\n";
    std::wstring path = NewFile(L".txt");
    WriteWholeFile(path, file.data(), file.size());

    // The reads fail once the question is answered: after the deletion, inside the import.
    static bool failReads;
    failReads = false;
    ImportReadFile = [](HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED o) -> BOOL {
        if (failReads) {
            SetLastError(ERROR_NETNAME_DELETED);
            return FALSE;
        }
        return ReadFile(h, buffer, size > 512 ? 512 : size, read, o);
    };
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(path, 0));
        ui.onNextDialog([](HWND box) {
            failReads = true;
            PressButton(box, IDYES);
        });
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_IMPORT);
        ASSERT_EQ(ui.seen().size(), 3u);
        EXPECT_NE(ui.seen()[2].text.find(L"konnte nicht vollst\u00e4ndig gelesen werden"),
                  std::wstring::npos)
            << Utf8(ui.seen()[2].text);
    }
    EXPECT_EQ(Objects(), objects);
    EXPECT_EQ(Names(categoryStore), categories);
    EXPECT_EQ(Names(titleList1), titles);
    EXPECT_EQ(Rows(), 2);

    ImportReadFile = ReadFile;
    Import(path, IDYES);
    EXPECT_EQ(StoredObjects(), 200);
    EXPECT_EQ(Names(categoryStore), std::vector<std::wstring>{L"Neu"});
    EXPECT_EQ(Names(titleList1), std::vector<std::wstring>{L"Titel"});
    EXPECT_EQ(Names(titleList3), std::vector<std::wstring>{L"Bem"});
}

// The import takes exactly what the check read: a file rewritten between the check and the
// import (here: its bytes differ once the question is answered) changes nothing, even with "Ja".
TEST_F(ExchangeTest, AFileChangedAfterTheCheckImportsNothing) {
    Prepare({{L"Alt 1", L"Privat", L"1"}, {L"Alt 2", L"Arbeit", L"2"}});
    Start();
    const std::vector<std::wstring> objects = Objects();
    std::string file;
    for (int i = 0; i < 300; ++i)
        file += "Titel\tNeu " + std::to_string(i) + "\tSer\t1\tBem\t\tNeu\t1\r\n";
    std::wstring path = NewFile(L".txt");
    WriteWholeFile(path, file.data(), file.size());
    static bool changed;
    changed = false;
    ImportReadFile = [](HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED o) -> BOOL {
        BOOL ok = ReadFile(h, buffer, size, read, o);
        // A late line of the file reads otherwise: the same length, another name.
        if (ok && changed && *read > 9000) static_cast<BYTE *>(buffer)[9000] ^= 1;
        return ok;
    };
    UiDriver ui;
    ui.onNextDialog(ChooseFile(path, 0));
    ui.onNextDialog([](HWND box) {
        changed = true;
        PressButton(box, IDYES);
    });
    ui.answerMessageBox(IDOK);
    Run(ui, IDM_IMPORT);
    ASSERT_EQ(ui.seen().size(), 3u);
    EXPECT_NE(ui.seen()[2].text.find(L"w\u00e4hrend des Importierens ver\u00e4ndert"),
              std::wstring::npos)
        << Utf8(ui.seen()[2].text);
    EXPECT_EQ(Objects(), objects);
    EXPECT_EQ(Rows(), 2);
}

TEST_F(ExchangeTest, AFileThatCannotBeOpenedIsReported) {
    Start();
    std::wstring path = NewFile(L".txt");
    WriteWholeFile(path, "", 0);
    HANDLE inUse = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    UiDriver ui;
    ui.onNextDialog(ChooseFile(path, 0));
    ui.answerMessageBox(IDOK);
    Run(ui, IDM_IMPORT);
    CloseHandle(inUse);
    ASSERT_EQ(ui.seen().size(), 2u);
    EXPECT_EQ(ui.seen()[1].caption, L"The Arkel");
    EXPECT_EQ(ui.seen()[1].text, L"Die Datei \"" + path.substr(path.find_last_of(L'\\') + 1) +
                                     L"\" konnte nicht ge\u00f6ffnet werden.");
}

// ---- Round trips ----------------------------------------------------------------------------

TEST_F(ExchangeTest, ExportImportExportGivesTheSameLines) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    objectStore.addObject(Object(L"Bank", L"4711", L"PIN\tbeim Notar", L"Privat"));
    objectStore.addObject(Object(L"Router", L"WLAN\\7F", L"", L"", 0));
    objectStore.addObject(Object(std::wstring(248, L'x').c_str(), L"\u00fc", L"lang", L"Arbeit"));
    objectStore.addObject(Object(std::wstring(255, L'y').c_str(), L"z", L"", L"Arbeit"));
    ResetGlobalStores();
    Start();
    ProgramPassword();
    for (Filter filter : {kArk, kTxt}) {
        SCOPED_TRACE(filter == kArk ? "encrypted" : "plain");
        const wchar_t *ending = filter == kArk ? L".ark" : L".txt";
        std::wstring first = NewFile(ending), second = NewFile(ending);
        for (const std::wstring &path : {first, second}) {
            UiDriver ui;
            ui.onNextDialog(ChooseFile(path, filter));
            if (filter == kArk) ui.onNextDialog(AnswerPassword(kFilePassword));
            if (filter == kTxt) AllowPlain(ui);
            CountSaid(ui);
            Run(ui, IDM_EXPORT);
            if (path == second) break;
            UiDriver in;
            in.onNextDialog(ChooseFile(path, 0));
            if (filter == kArk) in.onNextDialog(AnswerPassword(kFilePassword));
            in.answerMessageBox(IDYES);
            CountSaid(in);
            Run(in, IDM_IMPORT);
            EXPECT_EQ(StoredObjects(), 4);
        }
        EXPECT_EQ(Bytes(ReadWholeFile(second)), Bytes(ReadWholeFile(first)));
        EXPECT_GT(ReadWholeFile(first).size(), 600u);
        ExpectProgramPassword("round trip");
    }
    ObjectRecord o;
    objectStore.readVisible(3, &o);
    EXPECT_EQ(lstrlenW(o.field1), 255) << "a 255-character field comes back whole";
}

}  // namespace
