// The bytes of an exchange file: field encodings, the encrypted marker and its check field, the
// reading rule of a field, and the check pass that decides whether a file can be imported.
//
// An exchange file is a sequence of lines, one object per line: eight columns separated by TAB
// and ended by CR LF. In the plain variant a field is its ANSI text with TAB, LF, CR and backslash
// escaped; in the encrypted variant (which starts with the marker line "encrypted" CR LF and a
// check field) a field is its text, zero-padded to a multiple of 8 bytes, encrypted and written as
// uppercase hex digits.
#pragma once

#include "password_key.h"
#include "wipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Bytes of an exchange file or of one of its texts: plain text and secrets pass through them, so
// every buffer they free is wiped first (also the old one when they grow).
using ByteString = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

inline constexpr std::string_view kEncryptedMarker = "encrypted\r\n";
inline constexpr std::string_view kMarkerCheckText = "encrypted";
// Marker line, 32 hex digits of the check field, CR LF: the first record line starts here.
inline constexpr std::size_t kEncryptedBodyOffset = 45;
inline constexpr std::size_t kColumnCount = 8;

// A field's text is at most 255 bytes; the exporter's texts are at most 254.
inline constexpr std::size_t kFieldTextMax = 255;
// Check-pass limits per field: decoded bytes of a plain field, hex digits of an encrypted one.
// 512 digits are 256 bytes, the rounded size of a 249 to 256-byte text.
inline constexpr std::size_t kPlainFieldLimit = 255;
inline constexpr std::size_t kEncryptedFieldLimit = 512;
// Raw bytes of one field as read from the file; a field that passed the check always fits.
inline constexpr std::size_t kFieldBufferSize = 512;

// Column order of a record line and the titles written for an empty title column.
enum Column {
    colTitle1,
    colValue1,
    colTitle2,
    colValue2,
    colTitle3,
    colValue3,
    colCategory,
    colFlag
};
inline constexpr std::string_view kDefaultTitles[3] = {"Name", "Seriennummer", "Bemerkung"};

inline std::span<const std::uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t *>(s.data()), s.size()};
}

// ---- Plain variant ---------------------------------------------------------------------------

// Appends the text with TAB, LF, CR and backslash written as "\t", "\n", "\r" and "\\".
void appendPlainField(ByteString &out, std::span<const std::uint8_t> text);

// Undoes the escapes: "\n", "\r", "\t" give LF, CR, TAB; a backslash before any other byte gives
// that byte; a backslash at the end is dropped.
ByteString unescapeField(std::span<const std::uint8_t> raw);

// ---- Encrypted variant -----------------------------------------------------------------------

// Appends the text encrypted under the keys as uppercase hex digits: 16 digits for 1 to 8 bytes,
// 32 for 9 to 16 and so on, nothing for an empty text. Returns 0, or -1 (nothing appended) for a
// text longer than 255 bytes.
int appendEncryptedField(ByteString &out, std::span<const std::uint8_t> text,
                         const PasswordKeys &keys);

// Reads digit pairs, high digit first. A digit's value is its code minus 55 from "A" on, else its
// code minus 48, so only uppercase hex gives the bytes that were written; other characters give
// other bytes. A lone last digit is ignored. Writes at most out.size() bytes; returns the count.
std::size_t decodeHexDigits(std::span<const std::uint8_t> digits, std::span<std::uint8_t> out);

// The text of an encrypted field: the decoded bytes (at most 256) zero-padded to a multiple of 8,
// decrypted, and taken up to the first zero byte, at most 255 bytes. Digits beyond the 512th are
// ignored.
ByteString decryptField(std::span<const std::uint8_t> digits, const PasswordKeys &keys);

// The texts of several encrypted fields, each the one decryptField gives for it, with one run of
// the cipher for all of them (its blocks are independent of each other): a line's fields cost one
// key schedule, not one each.
std::vector<ByteString> decryptFields(std::span<const std::span<const std::uint8_t>> fields,
                                      const PasswordKeys &keys);

// The encrypted marker line, its check field ("encrypted" encrypted under the keys) and CR LF:
// the first 45 bytes of every encrypted file.
void appendMarker(ByteString &out, const PasswordKeys &keys);

// True when the file starts with the encrypted marker line.
bool hasEncryptedMarker(std::span<const std::uint8_t> file);

// True when the check field decodes to "encrypted" under the keys, that is, the keys are the
// file's.
bool markerCheckMatches(std::span<const std::uint8_t> checkField, const PasswordKeys &keys);

// ---- Reading ---------------------------------------------------------------------------------

// Collects one field byte by byte as the importer reads it: LF is skipped, TAB or CR ends the
// field (and is not kept), every other byte is kept. Bytes beyond the buffer's 512 are dropped
// (a field that passed the check never has that many).
class FieldReader {
public:
    // Returns true when the byte ended the field.
    bool addByte(std::uint8_t b);
    void clear() {
        size_ = 0;
        endedLine_ = false;
    }
    std::span<const std::uint8_t> field() const { return {buffer_.data(), size_}; }
    bool endedLine() const { return endedLine_; }

private:
    std::array<std::uint8_t, kFieldBufferSize> buffer_{};
    std::size_t size_ = 0;
    bool endedLine_ = false;
};

// The text the importer takes from a raw field: unescaped or decrypted, up to the first zero byte,
// at most 255 bytes.
ByteString decodeField(std::span<const std::uint8_t> raw, bool encrypted, const PasswordKeys &keys);

// The importer's flag rule: 1 when the flag column starts with "1", else 0.
int flagFromColumn(std::span<const std::uint8_t> text);

// ---- Check pass ------------------------------------------------------------------------------

enum class CheckFault {
    none,
    fieldTooLong,       // a field over the limit (255 decoded bytes, or 512 hex digits)
    wrongColumnCount,   // a line without exactly seven TABs
    missingCheckField,  // the encrypted file ends before its check field is complete
};

// The check pass over the record lines, fed one byte at a time. Bytes after the last CR form no
// line and are only checked when a TAB ends one of their fields.
class ExchangeChecker {
public:
    explicit ExchangeChecker(bool encrypted) : encrypted_(encrypted) {}
    // Returns false at the first fault; fault() and the counters then describe it.
    bool addByte(std::uint8_t b);
    CheckFault fault() const { return fault_; }
    std::size_t lines() const { return lines_; }  // complete lines so far
    std::size_t tabs() const { return tabs_; }    // TABs in the current line
    std::size_t fieldLength() const { return field_; }

private:
    bool fieldFits() const;

    bool encrypted_;
    CheckFault fault_ = CheckFault::none;
    std::size_t lines_ = 0;
    std::size_t tabs_ = 0;
    std::size_t field_ = 0;  // bytes of the current field as they count against the limit
    bool escapePending_ = false;
};

struct CheckReport {
    bool encrypted = false;
    std::size_t lines = 0;  // complete record lines
    CheckFault fault = CheckFault::none;
    std::size_t faultLine = 0;    // 1-based line of the file, counted by CR (marker is line 1)
    std::size_t faultColumn = 0;  // 1-based column of the line
};

// Checks a whole file as the importer does before it changes anything: the marker decides the
// variant, an encrypted file needs its check field, then every byte from the first record line
// goes through the check pass. Returns 0 when the file can be imported, -1 otherwise.
int checkExchangeFile(std::span<const std::uint8_t> file, CheckReport &report);

// One line of English for a fault, without the file name and line number.
std::string describeFault(const CheckReport &report);

// The raw check field of an encrypted file (from offset 11 up to its TAB or CR). Returns false when
// the file ends first.
bool readCheckField(std::span<const std::uint8_t> file, ByteString &field);

// ---- Whole files -----------------------------------------------------------------------------

using RawLine = std::array<ByteString, kColumnCount>;

// Splits the record lines of a file that passed the check into their raw fields. Bytes after the
// last CR are left out, as the importer leaves them. Returns -1 if a line does not have eight
// columns.
int splitRecordLines(std::span<const std::uint8_t> file, std::vector<RawLine> &lines);

// The eight texts the importer stores for a line, turned back into what the exporter writes for
// such an object: empty titles become the default titles, the flag becomes "1" or "0".
using TextLine = std::array<ByteString, kColumnCount>;
void normaliseForExport(TextLine &line);

// Appends one record line in either variant. Returns -1 (nothing appended) when a text is longer
// than 255 bytes, which no import could take back.
int appendRecordLine(ByteString &out, const TextLine &line, bool encrypted,
                     const PasswordKeys &keys);

// Appends several record lines, as appendRecordLine would one after the other; the encrypted
// variant runs the cipher once over all their fields (it works on whole batches of blocks, which
// one line's fields seldom fill). Returns -1 (nothing appended) when a text is too long.
int appendRecordLines(ByteString &out, std::span<const TextLine> lines, bool encrypted,
                      const PasswordKeys &keys);
