// cls_DBI control binding: filling list, combo and text boxes with the lines and taking lines
// back from list and text boxes. Nothing here traps a failure: a control's exception or a
// failed allocation reaches the caller, and the items or lines added before it stay added.
#include "tamsrove/cls_DBI.h"

#include "tamsrove/dbi_controls.h"
#include "classes/line_split.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace {

/// The separator of lines in a text box, and TextBoxToDBI's default delimiter.
constexpr std::u16string_view kCrLf = u"\r\n";

/// The length of former, a CR LF when former is not empty, and the lines joined by CR LF.
std::size_t JoinedLength(const std::u16string& former, const std::vector<std::u16string>& lines) {
    std::size_t total = former.size() + (former.empty() ? 0 : kCrLf.size());
    for (const std::u16string& line : lines) {
        total += line.size();
    }
    return total + (lines.size() - 1) * kCrLf.size();
}

} // namespace

void cls_DBI::AddDBIToListBox(DBIListBox& lB) const {
    if (LastLineIndex == 0 && Lines.front().empty()) {
        return; // the empty store gives a list box nothing
    }
    for (int32_t i = 0; i <= LastLineIndex; ++i) {
        lB.AddItem(Lines[static_cast<std::size_t>(i)]);
    }
}

void cls_DBI::DBIToCBox(DBIComboBox& cb) const {
    // Unlike AddDBIToListBox, no check for the empty store here: it gives one empty item and an
    // empty edit text.
    for (int32_t i = 0; i <= LastLineIndex; ++i) {
        cb.AddItem(Lines[static_cast<std::size_t>(i)]);
    }
    cb.SetEditText(Lines.front());
}

void cls_DBI::ListBoxToDBI(const DBIListBox& lB) {
    const int32_t count = lB.ItemCount();
    for (int32_t i = 0; i < count; ++i) {
        AddLineEnd(lB.ItemText(i));
    }
}

void cls_DBI::DBIToTextBox(DBITextBox& TB) const {
    // The whole new text is built here and assigned once: assigning it line by line would copy
    // the growing text through the control once per line, and the box would report one change
    // per line.
    const std::u16string former = TB.Text();
    std::u16string text;
    text.reserve(JoinedLength(former, Lines));
    text = former;
    if (!former.empty()) {
        text += kCrLf;
    }
    for (int32_t i = 0; i <= LastLineIndex; ++i) {
        if (i > 0) {
            text += kCrLf;
        }
        text += Lines[static_cast<std::size_t>(i)];
    }
    TB.SetText(text);
}

void cls_DBI::TextBoxToDBI(const DBITextBox& TB, std::u16string& Delimiter) {
    const std::u16string text = TB.Text();
    if (Delimiter.empty()) {
        Delimiter = kCrLf;
    }
    // Room for every line first, the rest after the last delimiter included: a read-only pass
    // that only finds the delimiters costs far less than growing the array step by step, and
    // too many lines fail before anything changes.
    ReserveForAdding(tamsrove::CountPieces(text, Delimiter) + 1,
                     tamsrove::LeadingDelimiters(text, Delimiter),
                     "cls_DBI::TextBoxToDBI: the store cannot count that many lines");
    // Every piece before a delimiter becomes a line, and so does the rest after the last one,
    // even when it is empty. AddLineEnd absorbs empty pieces while the store is still empty.
    const std::size_t rest = tamsrove::SplitAtDelimiter(
        text, Delimiter, [this](std::u16string_view piece, std::size_t /*next*/) {
            AddLineEnd(std::u16string(piece));
        });
    AddLineEnd(text.substr(rest));
}

void cls_DBI::TextBoxToDBI(const DBITextBox& TB, std::u16string&& Delimiter) {
    TextBoxToDBI(TB, Delimiter);
}
