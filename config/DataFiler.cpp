#include "config/DataFiler.h"

#include "config/Currency.h"
#include "platform/Errors.h"

#include <QMetaEnum>
#include <QStringList>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* TrueName = "True";
constexpr const char* FalseName = "False";
constexpr const char* CountKey = "Count";
constexpr const char* ItemKey = "Item%1";
constexpr const char* DefaultCount = "0";
// A list control's selection and its items, as the list controls name them.
constexpr const char* IndexProperty = "ItemIndex";
constexpr const char* ItemsProperty = "Items";
constexpr QChar LastBlank = u' ';
// Significant digits of the general format per floating-point type.
constexpr int SingleDigits = 7;
constexpr int DoubleDigits = 15;
constexpr int ExtendedDigits = 18;
// Below 1e-5 the general format turns to an exponent even when the digits would fit.
constexpr int SmallestFixedExponent = -5;
constexpr int CurrencyDecimals = 4;
constexpr std::size_t FormatBuffer = 64;

enum class TKind {
    Boolean,
    Enumeration,
    Set,
    Integer,
    Character,
    Float,
    String,
    Variant,
    StringList,
    Object,
    Component,
    None
};

QObject* PointedObject(const QObject& Holder, const QMetaProperty& Property) {
    return Property.read(&Holder).value<QObject*>();
}

TKind KindOf(const QObject& Holder, const QMetaProperty& Property) {
    if (Property.isFlagType())
        return TKind::Set;
    if (Property.isEnumType())
        return TKind::Enumeration;
    const auto Type = Property.metaType();
    switch (Type.id()) {
    case QMetaType::Bool:
        return TKind::Boolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return TKind::Integer;
    case QMetaType::Char:
    case QMetaType::QChar:
        return TKind::Character;
    case QMetaType::Float:
    case QMetaType::Double:
        return TKind::Float;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return TKind::String;
    case QMetaType::QVariant:
        return TKind::Variant;
    case QMetaType::QStringList:
        return TKind::StringList;
    default:
        break;
    }
    if (Type == QMetaType::fromType<long double>() || Type == QMetaType::fromType<TCurrency>())
        return TKind::Float;
    if (Type.flags() & QMetaType::PointerToQObject) {
        // A plain object that the holder keeps as part of itself is filed with it; anything
        // else is a component in its own right and not the holder's to store.
        const auto* Sub = PointedObject(Holder, Property);
        return (Sub && Sub->parent() == &Holder && !Sub->isWidgetType()) ? TKind::Object
                                                                         : TKind::Component;
    }
    return TKind::None;
}

bool IsUnsigned(const QMetaType& Type) {
    switch (Type.id()) {
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

// Enumerations and flags by their raw storage, whatever their width: Qt's conversions do
// not cover every enumeration type.
template <class TInt> QVariant RawVariant(const QMetaType& Type, std::int64_t Value) {
    const auto Stored = static_cast<TInt>(Value);
    return QVariant(Type, &Stored);
}

QVariant EnumVariant(const QMetaType& Type, std::int64_t Value) {
    switch (Type.sizeOf()) {
    case sizeof(std::int8_t):
        return RawVariant<std::int8_t>(Type, Value);
    case sizeof(std::int16_t):
        return RawVariant<std::int16_t>(Type, Value);
    case sizeof(std::int32_t):
        return RawVariant<std::int32_t>(Type, Value);
    default:
        return RawVariant<std::int64_t>(Type, Value);
    }
}

std::int64_t EnumValue(const QVariant& Value) {
    const void* Data = Value.constData();
    switch (Value.metaType().sizeOf()) {
    case sizeof(std::int8_t):
        return *static_cast<const std::int8_t*>(Data);
    case sizeof(std::int16_t):
        return *static_cast<const std::int16_t*>(Data);
    case sizeof(std::int32_t):
        return *static_cast<const std::int32_t*>(Data);
    default:
        return *static_cast<const std::int64_t*>(Data);
    }
}

bool SameName(const char* Declared, const QString& Text) {
    return QString::fromLatin1(Declared).compare(Text, Qt::CaseInsensitive) == 0;
}

// A set's members are its single-bit names, in ascending order of their bits.
std::map<std::uint32_t, const char*> SetMembers(const QMetaEnum& Enum) {
    std::map<std::uint32_t, const char*> Members;
    for (int I = 0; I < Enum.keyCount(); ++I) {
        const auto Bit = static_cast<std::uint32_t>(Enum.value(I));
        if (Bit != 0 && (Bit & (Bit - 1)) == 0)
            Members.emplace(Bit, Enum.key(I)); // the first name of a bit wins
    }
    return Members;
}

QString SetText(const QMetaEnum& Enum, std::int64_t Value) {
    QStringList Names;
    for (const auto& [Bit, Name] : SetMembers(Enum))
        if (static_cast<std::uint32_t>(Value) & Bit)
            Names << QString::fromLatin1(Name);
    return '[' + Names.join(',') + ']';
}

std::int64_t ParseSet(const QMetaEnum& Enum, QString Text) {
    if (Text.startsWith('['))
        Text.remove(0, 1);
    if (Text.endsWith(']'))
        Text.chop(1);
    std::uint32_t Result = 0;
    for (const auto& Word : Text.split(',')) {
        const auto Name = TDataFiler::Trim(Word);
        for (int I = 0; I < Enum.keyCount(); ++I)
            if (SameName(Enum.key(I), Name)) {
                Result |= static_cast<std::uint32_t>(Enum.value(I));
                break;
            }
    }
    return static_cast<std::int32_t>(Result);
}

// The general number format: fixed notation while the integer digits fit the precision and
// the value is at least 1e-5, else "d.dddE[-]x"; no trailing zeros, no exponent sign "+".
template <class TFloat> QString FormatGeneral(TFloat Value, int Precision) {
    if (std::isnan(Value))
        return QStringLiteral("NAN");
    if (std::isinf(Value))
        return Value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (Value == 0)
        return QStringLiteral("0");
    char Buffer[FormatBuffer];
    const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value,
                                      std::chars_format::scientific, Precision - 1);
    std::string_view Text(Buffer, static_cast<std::size_t>(Result.ptr - Buffer));
    const bool Negative = Text.front() == '-';
    if (Negative)
        Text.remove_prefix(1);
    const auto Mark = Text.find('e');
    std::string Digits;
    for (const char C : Text.substr(0, Mark))
        if (C != '.')
            Digits += C;
    while (Digits.size() > 1 && Digits.back() == '0')
        Digits.pop_back();
    auto ExponentText = Text.substr(Mark + 1);
    if (ExponentText.front() == '+')
        ExponentText.remove_prefix(1);
    int Exponent = 0;
    std::from_chars(ExponentText.data(), ExponentText.data() + ExponentText.size(), Exponent);

    std::string Out = Negative ? "-" : "";
    if (Exponent < Precision && Exponent >= SmallestFixedExponent) {
        if (Exponent < 0) {
            Out += "0." + std::string(static_cast<std::size_t>(-Exponent - 1), '0') + Digits;
        } else {
            const auto Whole = static_cast<std::size_t>(Exponent) + 1;
            if (Digits.size() <= Whole)
                Out += Digits + std::string(Whole - Digits.size(), '0');
            else
                Out += Digits.substr(0, Whole) + "." + Digits.substr(Whole);
        }
    } else {
        Out += Digits.substr(0, 1);
        if (Digits.size() > 1)
            Out += "." + Digits.substr(1);
        Out += "E" + std::to_string(Exponent);
    }
    return QString::fromStdString(Out);
}

// Exact from the scaled integer; at most 19 digits, so the general format with 19 digits
// never needs an exponent here.
QString FormatCurrency(TCurrency Amount) {
    const bool Negative = Amount.Value < 0;
    const auto Magnitude = Negative ? 0ULL - static_cast<std::uint64_t>(Amount.Value)
                                    : static_cast<std::uint64_t>(Amount.Value);
    const auto Scale = static_cast<std::uint64_t>(TCurrency::Scale);
    std::string Out = (Negative ? "-" : "") + std::to_string(Magnitude / Scale);
    if (const auto Fraction = Magnitude % Scale; Fraction != 0) {
        auto Decimals = std::to_string(Fraction);
        Decimals.insert(0, CurrencyDecimals - Decimals.size(), '0');
        while (Decimals.back() == '0')
            Decimals.pop_back();
        Out += "." + Decimals;
    }
    return QString::fromStdString(Out);
}

// Numbers are read the same whatever the user's locale: the file travels between them.
std::string_view WithoutPlus(std::string_view Text) {
    if (Text.size() > 1 && Text.front() == '+' && Text[1] != '-')
        Text.remove_prefix(1);
    return Text;
}

template <class TNumber> std::optional<TNumber> ParseNumber(const QString& Text) {
    const auto Bytes = Text.toStdString();
    const auto View = WithoutPlus(Bytes);
    TNumber Value{};
    const auto End = View.data() + View.size();
    const auto [Stop, Error] = std::from_chars(View.data(), End, Value);
    if (View.empty() || Error != std::errc() || Stop != End)
        return std::nullopt;
    return Value;
}

std::optional<TCurrency> ParseCurrency(const QString& Text) {
    const auto Value = ParseNumber<long double>(Text);
    if (!Value)
        return std::nullopt;
    const auto Scaled = *Value * TCurrency::Scale;
    constexpr auto Limit = static_cast<long double>(std::numeric_limits<std::int64_t>::max());
    if (!std::isfinite(Scaled) || Scaled >= Limit || Scaled <= -Limit)
        return std::nullopt;
    return TCurrency{std::llround(Scaled)};
}

QString FloatText(const QVariant& Value) {
    const auto Type = Value.metaType();
    if (Type == QMetaType::fromType<float>())
        return FormatGeneral(Value.value<float>(), SingleDigits);
    if (Type == QMetaType::fromType<double>())
        return FormatGeneral(Value.value<double>(), DoubleDigits);
    if (Type == QMetaType::fromType<long double>())
        return FormatGeneral(Value.value<long double>(), ExtendedDigits);
    return FormatCurrency(Value.value<TCurrency>());
}

template <class TFloat>
void WriteParsed(QObject& Object, const QMetaProperty& Property, std::optional<TFloat> Value) {
    if (Value) // not a number: the property keeps its value
        Property.write(&Object, QVariant::fromValue(*Value));
}

void SetFloat(QObject& Object, const QMetaProperty& Property, const QString& Text) {
    const auto Type = Property.metaType();
    if (Type == QMetaType::fromType<float>())
        WriteParsed(Object, Property, ParseNumber<float>(Text));
    else if (Type == QMetaType::fromType<double>())
        WriteParsed(Object, Property, ParseNumber<double>(Text));
    else if (Type == QMetaType::fromType<long double>())
        WriteParsed(Object, Property, ParseNumber<long double>(Text));
    else
        WriteParsed(Object, Property, ParseCurrency(Text));
}

// A list control's selection names one of its items; a number that names none is not a
// selection (the control would move it to an end, or select nothing).
bool NamesNoItem(const QObject& Object, const QMetaProperty& Property, long long Value) {
    if (qstrcmp(Property.name(), IndexProperty) != 0)
        return false;
    const auto Items = TDataFiler::FindProperty(Object, ItemsProperty);
    if (!Items.isValid() || Items.metaType().id() != QMetaType::QStringList)
        return false;
    return Value < 0 || Value >= Items.read(&Object).toStringList().size();
}

// Text that is no integer of the property's width leaves the property as it is, like any
// other text that names no value: a damaged file gives the control's own value, not its
// lowest.
template <class TInt>
void WriteInteger(QObject& Object, const QMetaProperty& Property, const QString& Text) {
    const auto Value = ParseNumber<TInt>(Text);
    if (Value && !NamesNoItem(Object, Property, static_cast<long long>(*Value)))
        Property.write(&Object, QVariant::fromValue(*Value));
}

void SetInteger(QObject& Object, const QMetaProperty& Property, const QString& Text) {
    switch (Property.metaType().id()) {
    case QMetaType::Int:
        return WriteInteger<int>(Object, Property, Text);
    case QMetaType::UInt:
        return WriteInteger<unsigned>(Object, Property, Text);
    case QMetaType::Long:
        return WriteInteger<long>(Object, Property, Text);
    case QMetaType::ULong:
        return WriteInteger<unsigned long>(Object, Property, Text);
    case QMetaType::LongLong:
        return WriteInteger<long long>(Object, Property, Text);
    case QMetaType::ULongLong:
        return WriteInteger<unsigned long long>(Object, Property, Text);
    case QMetaType::Short:
        return WriteInteger<short>(Object, Property, Text);
    case QMetaType::UShort:
        return WriteInteger<unsigned short>(Object, Property, Text);
    case QMetaType::SChar:
        return WriteInteger<signed char>(Object, Property, Text);
    default:
        return WriteInteger<unsigned char>(Object, Property, Text);
    }
}

void SetCharacter(QObject& Object, const QMetaProperty& Property, const QString& Text) {
    const QChar First = Text.isEmpty() ? QChar() : Text.front();
    if (Property.metaType().id() == QMetaType::Char)
        Property.write(&Object, QVariant::fromValue(First.toLatin1()));
    else
        Property.write(&Object, QVariant::fromValue(First));
}

QString CharacterText(const QVariant& Value) {
    if (Value.metaType().id() == QMetaType::Char)
        return QString(QChar::fromLatin1(Value.value<char>()));
    return QString(Value.value<QChar>());
}

// A sub-object's properties, each with its key: the holder's key followed directly by the
// property's name. QObject's own objectName is no part of the value.
template <class TAction>
void ForEachSubProperty(const QObject& Sub, const QString& Key, const TAction& Action) {
    const auto* Meta = Sub.metaObject();
    for (int I = QObject::staticMetaObject.propertyCount(); I < Meta->propertyCount(); ++I)
        Action(Meta->property(I), Key + Meta->property(I).name());
}

} // namespace

TDataFiler::TDataFiler(TAbstractStore& Store, const QString& Section)
    : FStore(Store), FSection(Section) {}

QString TDataFiler::Trim(const QString& Text) {
    qsizetype First = 0;
    qsizetype Last = Text.size();
    while (First < Last && Text[First] <= LastBlank)
        ++First;
    while (Last > First && Text[Last - 1] <= LastBlank)
        --Last;
    return Text.mid(First, Last - First);
}

QMetaProperty TDataFiler::FindProperty(const QObject& Object, const QString& Name) {
    const auto* Meta = Object.metaObject();
    for (int I = Meta->propertyCount() - 1; I >= 0; --I)
        if (SameName(Meta->property(I).name(), Name))
            return Meta->property(I);
    return {};
}

QString TDataFiler::ValueText(const QObject& Object, const QMetaProperty& Property) {
    const auto Value = Property.read(&Object);
    QString Text;
    switch (KindOf(Object, Property)) {
    case TKind::Boolean:
        Text = Value.toBool() ? TrueName : FalseName;
        break;
    case TKind::Enumeration:
        Text = QString::fromLatin1(
            Property.enumerator().valueToKey(static_cast<int>(EnumValue(Value))));
        break;
    case TKind::Set:
        Text = SetText(Property.enumerator(), EnumValue(Value));
        break;
    case TKind::Integer:
        Text = IsUnsigned(Property.metaType()) ? QString::number(Value.toULongLong())
                                               : QString::number(Value.toLongLong());
        break;
    case TKind::Character:
        Text = CharacterText(Value);
        break;
    case TKind::Float:
        Text = FloatText(Value);
        break;
    case TKind::String:
        Text = Property.metaType().id() == QMetaType::QByteArray
                   ? QString::fromUtf8(Value.toByteArray())
                   : Value.toString();
        break;
    case TKind::Variant:
        Text = Value.toString();
        break;
    default: // lists, sub-objects and references have no text of their own
        break;
    }
    return Trim(Text);
}

void TDataFiler::SetValueText(QObject& Object, const QMetaProperty& Property, const QString& Text) {
    switch (KindOf(Object, Property)) {
    case TKind::Boolean:
        // A text that names neither value leaves the property as it is.
        if (SameName(TrueName, Text) || SameName(FalseName, Text))
            Property.write(&Object, SameName(TrueName, Text));
        break;
    case TKind::Enumeration: {
        const auto Enum = Property.enumerator();
        for (int I = 0; I < Enum.keyCount(); ++I)
            if (SameName(Enum.key(I), Text)) {
                Property.write(&Object, EnumVariant(Property.metaType(), Enum.value(I)));
                break;
            }
        break;
    }
    case TKind::Set:
        Property.write(&Object,
                       EnumVariant(Property.metaType(), ParseSet(Property.enumerator(), Text)));
        break;
    case TKind::Integer:
        SetInteger(Object, Property, Text);
        break;
    case TKind::Character:
        SetCharacter(Object, Property, Text);
        break;
    case TKind::Float:
        SetFloat(Object, Property, Text);
        break;
    case TKind::String:
        if (Property.metaType().id() == QMetaType::QByteArray)
            Property.write(&Object, Text.toUtf8());
        else
            Property.write(&Object, Text);
        break;
    case TKind::Variant:
        Property.write(&Object, QVariant(Text));
        break;
    default:
        break;
    }
}

void TDataFiler::RestoreEntry(QObject& Component, const QString& PropertyName) {
    const auto Property = FindProperty(Component, PropertyName);
    if (Property.isValid())
        RestoreProperty(Component, Property, Component.objectName() + '.' + Property.name());
}

void TDataFiler::SaveEntry(QObject& Component, const QString& PropertyName) {
    const auto Property = FindProperty(Component, PropertyName);
    if (Property.isValid())
        SaveProperty(Component, Property, Component.objectName() + '.' + Property.name());
}

void TDataFiler::RestoreProperty(QObject& Object, const QMetaProperty& Property,
                                 const QString& Key) {
    const auto Kind = KindOf(Object, Property);
    if (Kind == TKind::Object) {
        auto* Sub = PointedObject(Object, Property);
        ForEachSubProperty(*Sub, Key, [&](const QMetaProperty& Part, const QString& PartKey) {
            RestoreProperty(*Sub, Part, PartKey);
        });
        return;
    }
    // What cannot be set back is not stored either.
    if (Kind == TKind::Component || Kind == TKind::None || !Property.isWritable())
        return;
    if (Kind == TKind::StringList)
        return RestoreList(Object, Property, Key);

    const auto Current = ValueText(Object, Property);
    // A value without text was never written; converting an empty text back would change
    // it (a blank character would become character 0).
    if (Current.isEmpty() && Kind != TKind::String)
        return;
    const auto Text = Trim(FStore.ReadString(FSection, Key, Current));
    // Equal text means an equal value; setting it anyway could move a floating-point value
    // by the rounding of its text.
    if (Text != Current)
        SetValueText(Object, Property, Text);
}

void TDataFiler::SaveProperty(QObject& Object, const QMetaProperty& Property, const QString& Key) {
    const auto Kind = KindOf(Object, Property);
    if (Kind == TKind::Object) {
        auto* Sub = PointedObject(Object, Property);
        ForEachSubProperty(*Sub, Key, [&](const QMetaProperty& Part, const QString& PartKey) {
            SaveProperty(*Sub, Part, PartKey);
        });
        return;
    }
    if (Kind == TKind::Component || Kind == TKind::None || !Property.isWritable())
        return;
    if (Kind == TKind::StringList)
        return SaveList(Object, Property, Key);

    const auto Text = ValueText(Object, Property);
    if (Text.isEmpty() && Kind != TKind::String)
        return;
    FStore.WriteString(FSection, Key, Text);
}

void TDataFiler::RestoreList(QObject& Object, const QMetaProperty& Property, const QString& Key) {
    const auto Section = FSection + '.' + Key;
    const auto Count =
        ParseNumber<int>(Trim(FStore.ReadString(Section, CountKey, DefaultCount))).value_or(0);
    if (Count <= 0)
        return;
    if (Count > MaxListCount)
        throw ERangeError();
    QStringList Lines;
    for (int I = 0; I < Count; ++I)
        Lines << FStore.ReadString(Section, QString(ItemKey).arg(I), QString());
    Property.write(&Object, Lines);
}

void TDataFiler::SaveList(const QObject& Object, const QMetaProperty& Property,
                          const QString& Key) {
    const auto Section = FSection + '.' + Key;
    const auto Lines = Property.read(&Object).toStringList();
    FStore.EraseSection(Section);
    if (Lines.isEmpty())
        return;
    FStore.WriteString(Section, CountKey, QString::number(Lines.size()));
    for (qsizetype I = 0; I < Lines.size(); ++I)
        FStore.WriteString(Section, QString(ItemKey).arg(I), Lines[I]);
}
