// cls_DBI: an ordered store of UTF-16 text lines, with text-file load and save, packing into one
// delimited string, whole-file byte transfer, file probes and list/combo/text box binding.
//
// The store always holds at least one line; a store whose only line is empty is "the empty
// store". Line and string operations raise their failures as standard exceptions; the file
// loads and saves record a fixed text in ErrorText instead, which no later success clears (the
// file probes answer false or 0).
//
// Where a method may assign to a string parameter, it takes a non-const reference, so that the
// caller's variable changes; each such method also has an rvalue overload for literals and
// temporaries, whose change goes nowhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class DBIListBox;
class DBIComboBox;
class DBITextBox;

class cls_DBI {
public:
    using const_iterator = std::vector<std::u16string>::const_iterator;

    /// The recorded texts, exactly as ErrorCode returns them.
    static constexpr const char16_t* kLastLineCleared = u"Last Line Cleared!";
    static constexpr const char16_t* kFileToDBIError = u"FileToDBI Error!";
    static constexpr const char16_t* kDBIToFileError = u"DBIToFile Error!";
    static constexpr const char16_t* kFTSError = u"modFTS Error!";
    static constexpr const char16_t* kSTFError = u"STF Error!";

    /// Creates the empty store: one empty line, empty ErrorText.
    cls_DBI();
    /// Copies the lines and ErrorText.
    cls_DBI(const cls_DBI& other);
    /// Copies the lines and ErrorText; all or nothing.
    cls_DBI& operator=(const cls_DBI& other);
    /// Takes the lines and ErrorText; other is left as a new object (the empty store, empty
    /// ErrorText). That costs one small allocation, so it can throw std::bad_alloc, and then
    /// other is unchanged.
    cls_DBI(cls_DBI&& other); // NOLINT(performance-noexcept-move-constructor): see above
    /// Takes the lines and ErrorText; other is left as a new object; all or nothing.
    cls_DBI& operator=(cls_DBI&& other); // NOLINT(performance-noexcept-move-constructor)
    ~cls_DBI();

    // --- Core ------------------------------------------------------------------------------

    /// Leaves the empty store; always records "Last Line Cleared!".
    void RemoveAllLines();
    /// The index of the last line (the number of lines minus one), not the count.
    [[nodiscard]] int32_t LinesNumber() const noexcept;
    /// A copy of the latest recorded error or notice text.
    [[nodiscard]] std::u16string ErrorCode() const;

    /// Replaces all lines with those of an ANSI text file; all or nothing.
    void FileToDBI(std::u16string& FilePathName, bool Trace = false);
    void FileToDBI(std::u16string&& FilePathName, bool Trace = false);

    /// A copy of line Index; std::out_of_range outside 0..LinesNumber().
    [[nodiscard]] std::u16string GetLine(int32_t Index) const;
    /// Replaces line Index; std::out_of_range outside 0..LinesNumber().
    void SetLine(std::u16string NewLine, int32_t Index);
    /// Appends a line; on the empty store it replaces the single empty line instead.
    void AddLineEnd(std::u16string NewLine);
    /// Inserts before Index; Index may equal the line count (append), but on the empty store only
    /// 0 is valid (the line replaces the empty one). std::out_of_range else, nothing changed.
    void InsertLine(std::u16string LineToInsert, int32_t Index);
    /// Removes line Index; removing the only line empties it and records "Last Line Cleared!".
    /// std::out_of_range outside 0..LinesNumber(), nothing changed.
    void RemoveLine(int32_t Index);

    /// Writes every line followed by CR LF: Mode 0 replaces the file, so that neither a failure
    /// nor a crash loses its old content or leaves it half written; 1 appends.
    void DBIToFile(std::u16string& FilePathName, int32_t Mode, bool Trace = false);
    void DBIToFile(std::u16string&& FilePathName, int32_t Mode, bool Trace = false);

    /// Sets every line to Trash (empty by default); the number of lines stays.
    void Clear(const std::u16string& Trash = std::u16string());

    // --- Meta-strings and cutting -----------------------------------------------------------

    /// Every line followed by Delimiter; an empty Delimiter becomes CR LF in the caller's variable.
    [[nodiscard]] std::u16string DBIToMetaString(std::u16string& Delimiter);
    [[nodiscard]] std::u16string DBIToMetaString(std::u16string&& Delimiter = std::u16string());

    /// Adds each piece before a Delimiter as a line; DataString keeps the text after the last one.
    void MetaStringToDBI(std::u16string& DataString, std::u16string& Delimiter);
    void MetaStringToDBI(std::u16string& DataString, std::u16string&& Delimiter = std::u16string());
    void MetaStringToDBI(std::u16string&& DataString, std::u16string& Delimiter);
    void MetaStringToDBI(std::u16string&& DataString,
                         std::u16string&& Delimiter = std::u16string());

    /// Returns the text before the first Delimiter and cuts it and the Delimiter from Source;
    /// std::invalid_argument, Source unchanged, when Delimiter does not occur.
    [[nodiscard]] std::u16string LeftCutToChar(std::u16string& Source,
                                               const std::u16string& Delimiter);
    [[nodiscard]] std::u16string LeftCutToChar(std::u16string&& Source,
                                               const std::u16string& Delimiter);

    /// Returns the first Bytes characters; with b_AffectSource they are cut from Source.
    [[nodiscard]] std::u16string LeftCut(std::u16string& Source, int32_t Bytes,
                                         bool b_AffectSource = false);
    [[nodiscard]] std::u16string LeftCut(std::u16string&& Source, int32_t Bytes,
                                         bool b_AffectSource = false);

    // --- Whole-file byte transfer ------------------------------------------------------------

    /// The whole file, one character per byte through the ANSI code page; "modFTS Error!" on
    /// failure.
    [[nodiscard]] std::u16string FTS(std::u16string& FilePathName, bool Trace = false);
    [[nodiscard]] std::u16string FTS(std::u16string&& FilePathName, bool Trace = false);

    /// Writes DataString byte for character: s_Mode 0 replaces the file as DBIToFile does, 1
    /// appends (a failure records "STF Error!"), any other s_Mode does nothing.
    void STF(const std::u16string& DataString, std::u16string& FileNamePath, int32_t s_Mode,
             bool Trace = false);
    void STF(const std::u16string& DataString, std::u16string&& FileNamePath, int32_t s_Mode,
             bool Trace = false);

    // --- Control binding ---------------------------------------------------------------------

    /// Appends every line to a list box; the empty store adds nothing.
    void AddDBIToListBox(DBIListBox& lB) const;
    /// Appends every line to a combo box's list and sets its edit text to line 0.
    void DBIToCBox(DBIComboBox& cb) const;
    /// Adds every item of a list box with AddLineEnd.
    void ListBoxToDBI(const DBIListBox& lB);
    /// Appends the lines, joined by CR LF, to a text box's text in one assignment.
    void DBIToTextBox(DBITextBox& TB) const;
    /// Cuts a text box's text at every Delimiter (CR LF when empty) and adds every piece.
    void TextBoxToDBI(const DBITextBox& TB, std::u16string& Delimiter);
    void TextBoxToDBI(const DBITextBox& TB, std::u16string&& Delimiter = std::u16string());

    // --- File probes ---------------------------------------------------------------------------

    /// True when the file's length can be queried under that name.
    [[nodiscard]] bool FileExists(std::u16string& Filename, bool Trace = false) const;
    [[nodiscard]] bool FileExists(std::u16string&& Filename, bool Trace = false) const;
    /// The file's length in bytes; 0 when it cannot be opened or measured, or exceeds INT32_MAX.
    [[nodiscard]] int32_t GetFileSizeNoFSO(std::u16string& Filename, bool Trace = false) const;
    [[nodiscard]] int32_t GetFileSizeNoFSO(std::u16string&& Filename, bool Trace = false) const;

    // --- C++ conveniences ----------------------------------------------------------------------

    /// A read-only range over the lines, in order.
    [[nodiscard]] const_iterator begin() const noexcept { return Lines.begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return Lines.end(); }

private:
    /// Exchanges the whole state of two stores.
    void SwapWith(cls_DBI& other) noexcept;

    /// Checks the line limit and makes room before AddLineEnd adds pieces lines, the first
    /// leading_empty of them empty; throws (what names the operation) with nothing changed.
    void ReserveForAdding(std::size_t pieces, std::size_t leading_empty, const char* what);

    /// With Trace, prefixes the application folder and writes the result back into path.
    static void ApplyTrace(std::u16string& path, bool Trace);

    std::vector<std::u16string> Lines;
    int32_t LastLineIndex = 0;
    std::u16string ErrorText;
};
