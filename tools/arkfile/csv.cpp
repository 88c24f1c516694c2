#include "csv.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

bool CsvReader::fail(std::string message) {
    error_ = std::move(message);
    errorRow_ = rows_ + 1;
    errorColumn_ = record_.fields.size() + 1;
    errorLine_ = line_;
    return false;
}

void CsvReader::endField() {
    record_.fields.push_back(std::move(field_));
    field_.clear();
}

void CsvReader::endRecord(std::vector<CsvRecord> &out) {
    if (recordStarted_) {
        endField();
        record_.row = ++rows_;
        out.push_back(std::move(record_));
    }
    record_ = CsvRecord{};
    field_.clear();
    recordStarted_ = false;
}

void CsvReader::startRecord() {
    if (recordStarted_) return;
    recordStarted_ = true;
    record_.line = line_;
}

bool CsvReader::endAt(char c, std::vector<CsvRecord> &out) {
    if (c == separator_) {
        startRecord();
        if (record_.fields.size() + 1 >= kMaxFields)
            return fail("more than " + std::to_string(kMaxFields) + " fields in a record");
        endField();
        state_ = State::fieldStart;
        return true;
    }
    endRecord(out);
    ++line_;
    state_ = c == '\r' ? State::afterCr : State::fieldStart;
    return true;
}

bool CsvReader::addToField(char c) {
    if (field_.size() >= kMaxFieldBytes)
        return fail("a field longer than " + std::to_string(kMaxFieldBytes) + " bytes");
    field_.push_back(c);
    return true;
}

bool CsvReader::feed(std::string_view bytes, std::vector<CsvRecord> &out) {
    if (!error_.empty()) return false;
    std::size_t i = 0;
    // A byte-order mark may arrive split over several calls.
    while (atStart_ && i < bytes.size()) {
        if (bytes[i] != kBom[bomSeen_]) {
            atStart_ = false;
            const std::string_view seen = kBom.substr(0, bomSeen_);
            bomSeen_ = 0;
            if (!seen.empty() && !feed(seen, out)) return false;
            break;
        }
        ++i;
        if (++bomSeen_ == kBom.size()) {
            atStart_ = false;
            bomSeen_ = 0;
        }
    }
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (state_) {
        case State::afterCr:
            state_ = State::fieldStart;
            if (c == '\n') continue;  // the LF of a CR LF
            [[fallthrough]];
        case State::fieldStart:
            if (c == '"') {
                startRecord();
                quoteLine_ = line_;
                state_ = State::quoted;
                break;
            }
            [[fallthrough]];
        case State::plain:
            if (c == separator_ || c == '\r' || c == '\n') {
                if (!endAt(c, out)) return false;
            } else if (c == '"') {
                return fail("a quote inside a field that does not start with one");
            } else {
                startRecord();
                if (!addToField(c)) return false;
                state_ = State::plain;
            }
            break;
        case State::quoted:
            if (c == '"') {
                state_ = State::quoteInQuoted;
                break;
            }
            // A CR LF inside a quoted field is one line break of the file.
            if (c == '\n' && !(field_.size() && field_.back() == '\r')) ++line_;
            if (c == '\r') ++line_;
            if (!addToField(c)) return false;
            break;
        case State::quoteInQuoted:
            if (c == '"') {
                if (!addToField('"')) return false;
                state_ = State::quoted;
            } else if (c == separator_ || c == '\r' || c == '\n') {
                if (!endAt(c, out)) return false;
            } else {
                return fail("text after the closing quote of a field");
            }
            break;
        }
    }
    return true;
}

bool CsvReader::finish(std::vector<CsvRecord> &out) {
    if (!error_.empty()) return false;
    if (atStart_ && bomSeen_ > 0) {
        // A file shorter than a byte-order mark that began like one.
        atStart_ = false;
        const std::string_view seen = kBom.substr(0, bomSeen_);
        bomSeen_ = 0;
        if (!feed(seen, out)) return false;
    }
    if (state_ == State::quoted) {
        line_ = quoteLine_;
        return fail("a quoted field that is never closed");
    }
    endRecord(out);
    return true;
}

void appendCsvField(std::string &out, std::string_view value, char separator) {
    // A byte-order mark at the start of a file would be taken for the file's own.
    bool quote = !value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                    value.substr(0, kBom.size()) == kBom);
    for (char c : value)
        if (c == separator || c == '"' || c == '\r' || c == '\n') quote = true;
    if (!quote) {
        out += value;
        return;
    }
    out.push_back('"');
    for (char c : value) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void appendCsvRecord(std::string &out, const std::vector<std::string> &fields, char separator) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back(separator);
        appendCsvField(out, fields[i], separator);
    }
    out += "\r\n";
}
