// CSV as RFC 4180 describes it, as the password managers write it: a reader that is fed a file in
// pieces and hands out whole records, and the writer's quoting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CsvRecord {
    std::vector<std::string> fields;
    std::size_t row = 0;   // 1-based record number, the header being row 1
    std::size_t line = 0;  // line of the file on which the record starts
};

// Reads fields separated by the separator (a comma unless told otherwise), each either plain or
// quoted with '"' (a quote inside written twice, separators and line breaks inside kept). Records
// end with CR LF, LF or CR. A UTF-8 byte-order mark at the start is skipped; empty lines are no
// records. Anything else is malformed: a quote inside a field that does not start with one, text
// after a closing quote, a quoted field still open at the end.
class CsvReader {
public:
    // The longest field and the most fields in a record: bounds on the memory of a hostile file.
    static constexpr std::size_t kMaxFieldBytes = 1 << 20;
    static constexpr std::size_t kMaxFields = 1000;

    explicit CsvReader(char separator = ',') : separator_(separator) {}

    // Reads the next bytes; the records they complete are appended to out. Returns false at the
    // first malformed byte (and ever after); error() and the counters then say what and where.
    bool feed(std::string_view bytes, std::vector<CsvRecord> &out);
    // The end of the file: completes the last record. Returns false when the file ends malformed.
    bool finish(std::vector<CsvRecord> &out);

    const std::string &error() const { return error_; }
    std::size_t errorRow() const { return errorRow_; }
    std::size_t errorColumn() const { return errorColumn_; }  // 1-based field of that record
    std::size_t errorLine() const { return errorLine_; }

private:
    enum class State { fieldStart, plain, quoted, quoteInQuoted, afterCr };
    bool fail(std::string message);
    void startRecord();
    void endField();
    void endRecord(std::vector<CsvRecord> &out);
    bool addToField(char c);
    // A separator ends the field, CR or LF the record.
    bool endAt(char c, std::vector<CsvRecord> &out);

    char separator_;
    State state_ = State::fieldStart;
    std::string field_;
    CsvRecord record_;
    bool recordStarted_ = false;  // a record with content or a separator has begun
    std::size_t line_ = 1;
    std::size_t rows_ = 0;
    std::size_t quoteLine_ = 0;  // where the open quoted field started
    std::size_t bomSeen_ = 0;    // bytes of a byte-order mark matched at the start
    bool atStart_ = true;
    std::string error_;
    std::size_t errorRow_ = 0, errorColumn_ = 0, errorLine_ = 0;
};

// Appends one field, quoted when it holds the separator, a quote, CR or LF, begins or ends with a
// space (which some readers drop) or begins with a byte-order mark.
void appendCsvField(std::string &out, std::string_view value, char separator = ',');

// Appends a record: its fields separated and ended with CR LF.
void appendCsvRecord(std::string &out, const std::vector<std::string> &fields,
                     char separator = ',');
