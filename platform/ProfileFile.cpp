#include "platform/ProfileFile.h"

#include <algorithm>
#include <optional>

namespace {

// A carriage return without its line feed counts as a blank, so that a damaged line break
// never becomes part of a value.
constexpr std::string_view Blanks = " \t\r";
// Editors that save UTF-8 may put this in front of the first line. It is no part of the
// line, or the first section's header would go unseen; it is kept where it is.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view Text) {
    const auto First = Text.find_first_not_of(Blanks);
    if (First == std::string_view::npos)
        return {};
    const auto Last = Text.find_last_not_of(Blanks);
    return Text.substr(First, Last - First + 1);
}

char Lower(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameText(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [](char X, char Y) { return Lower(X) == Lower(Y); });
}

std::string Limited(std::string_view Text) {
    return std::string(Text.substr(0, ProfileValueLength));
}

enum class TLineKind { Blank, Comment, Section, Key, Other };

struct TLine {
    std::size_t Begin; // first byte of the line
    std::size_t End;   // one past its last byte before the line break
    std::size_t Next;  // first byte of the following line
    TLineKind Kind;
    std::string_view Name; // section name or key
    std::string_view Value;
};

TLine Classify(std::string_view Text, std::size_t Begin, std::size_t End, std::size_t Next) {
    TLine Line{Begin, End, Next, TLineKind::Other, {}, {}};
    const auto Content = Trim(Text.substr(Begin, End - Begin));
    if (Content.empty()) {
        Line.Kind = TLineKind::Blank;
    } else if (Content.front() == ';') {
        Line.Kind = TLineKind::Comment;
    } else if (Content.front() == '[' && Content.find(']') != std::string_view::npos) {
        // A "[" without "]" is no header: the line stays an ordinary line of its section.
        Line.Kind = TLineKind::Section;
        Line.Name = Trim(Content.substr(1, Content.find(']') - 1));
    } else if (const auto Equals = Content.find('='); Equals != std::string_view::npos) {
        Line.Kind = TLineKind::Key;
        Line.Name = Trim(Content.substr(0, Equals));
        Line.Value = Trim(Content.substr(Equals + 1));
    }
    return Line;
}

std::size_t FirstLine(std::string_view Text) {
    return Text.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0;
}

// Visit for each line in order, until it returns false. The lines are not kept: a large
// file costs one pass, not a copy of its structure.
template <class TVisit> void ForEachLine(std::string_view Text, TVisit&& Visit) {
    for (std::size_t Begin = FirstLine(Text); Begin < Text.size();) {
        const auto Break = Text.find('\n', Begin);
        const auto Next = Break == std::string_view::npos ? Text.size() : Break + 1;
        auto End = Break == std::string_view::npos ? Text.size() : Break;
        if (Break != std::string_view::npos && End > Begin && Text[End - 1] == '\r')
            --End;
        if (!Visit(Classify(Text, Begin, End, Next)))
            return;
        Begin = Next;
    }
}

// The first key named Key in a section named Section.
std::optional<TLine> FindKey(std::string_view Text, std::string_view Section,
                             std::string_view Key) {
    std::optional<TLine> Found;
    bool Inside = false; // keys before the first header belong to no section
    ForEachLine(Text, [&](const TLine& Line) {
        if (Line.Kind == TLineKind::Section)
            Inside = SameText(Line.Name, Section);
        else if (Inside && Line.Kind == TLineKind::Key && SameText(Line.Name, Key))
            Found = Line;
        return !Found;
    });
    return Found;
}

// The last line of substance of the first section named Section, its header when it has
// none. New keys go after it, so that blank lines and comments that introduce the next
// section stay in front of it.
std::optional<TLine> LastLineOfSection(std::string_view Text, std::string_view Section) {
    std::optional<TLine> Last;
    ForEachLine(Text, [&](const TLine& Line) {
        if (Line.Kind == TLineKind::Section) {
            if (Last)
                return false;
            if (SameText(Line.Name, Section))
                Last = Line;
        } else if (Last && Line.Kind != TLineKind::Blank && Line.Kind != TLineKind::Comment) {
            Last = Line;
        }
        return true;
    });
    return Last;
}

// Lines we add follow the file's own convention.
std::string LineBreakOf(std::string_view Text) {
    const auto Break = Text.find('\n');
    return (Break != std::string_view::npos && Break > 0 && Text[Break - 1] == '\r') ? "\r\n"
                                                                                     : "\n";
}

// A name or value that would break the line structure cannot be stored faithfully; writing
// it anyway would plant a different key or section in the file.
bool Representable(std::string_view Section, std::string_view Key, std::string_view Value) {
    const auto Breaks = [](std::string_view S) { return S.find_first_of("\r\n") != S.npos; };
    if (Section.empty() || Breaks(Section) || Section.find(']') != Section.npos)
        return false;
    if (Key.empty() || Breaks(Key) || Key.find('=') != Key.npos || Key.front() == '[' ||
        Key.front() == ';')
        return false;
    return !Breaks(Value);
}

} // namespace

TProfileFile::TProfileFile(const std::string& FileName)
    : FFileName(FileName), FPath(ProfilePath(FileName)) {}

void TProfileFile::Load() {
    if (FLoaded)
        return;
    FLoaded = true;
    if (!FPath.empty())
        FStatus = ReadFileContents(FPath, FOriginal);
    FText = FOriginal;
}

std::string TProfileFile::ReadString(std::string_view Section, std::string_view Key,
                                     std::string_view Default) {
    Load();
    const auto Found = FindKey(FText, Trim(Section), Trim(Key));
    return Limited(Found ? Found->Value : Default);
}

void TProfileFile::WriteString(std::string_view Section, std::string_view Key,
                               std::string_view Value) {
    const auto SectionName = Trim(Section);
    const auto KeyName = Trim(Key);
    if (!Representable(SectionName, KeyName, Value))
        UnableToWrite(FPath.empty() ? FFileName : FPath);
    Load();
    FChangeAsked = true;
    const auto Break = LineBreakOf(FText);
    const auto KeyLine = std::string(KeyName) + "=" + std::string(Value);
    if (const auto Found = FindKey(FText, SectionName, KeyName)) {
        if (Found->Value != Value || Found->Name != KeyName)
            FText.replace(Found->Begin, Found->End - Found->Begin, KeyLine);
    } else if (const auto Last = LastLineOfSection(FText, SectionName)) {
        const bool Broken = Last->Next > Last->End; // the line has its line break
        FText.insert(Last->Next, (Broken ? "" : Break) + KeyLine + Break);
    } else {
        const bool Open = FText.size() > FirstLine(FText) && FText.back() != '\n';
        FText +=
            (Open ? Break : "") + "[" + std::string(SectionName) + "]" + Break + KeyLine + Break;
    }
}

void TProfileFile::EraseSection(std::string_view Section) {
    Load();
    FChangeAsked = true;
    const auto SectionName = Trim(Section);
    std::string Kept = FText.substr(0, FirstLine(FText));
    bool Dropping = false;
    ForEachLine(FText, [&](const TLine& Line) {
        if (Line.Kind == TLineKind::Section)
            Dropping = SameText(Line.Name, SectionName);
        if (!Dropping)
            Kept.append(FText, Line.Begin, Line.Next - Line.Begin);
        return true;
    });
    FText = std::move(Kept);
}

void TProfileFile::UpdateFile() {
    // What a file that could not be read holds is unknown: any change to it would be a
    // guess that loses the rest.
    if (FStatus == TReadStatus::Failed) {
        if (FChangeAsked)
            UnableToWrite(FPath);
        return;
    }
    if (!Modified())
        return;
    if (FPath.empty())
        UnableToWrite(FFileName);
    // A file that could not be read back would never be replaced again.
    if (FText.size() > ProfileSizeLimit)
        UnableToWrite(FPath);
    ReplaceFileContents(FPath, FText);
    FOriginal = FText;
}
