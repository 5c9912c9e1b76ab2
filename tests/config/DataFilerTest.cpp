#include "ConfigTestSupport.h"
#include "TestComponent.h"

#include "config/DataFiler.h"
#include "config/IniFileStore.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

const char* const AllProperties[] = {"Flag",   "Shade", "Styles", "Count",  "Big",      "Small",
                                     "Letter", "Byte",  "Single", "Double", "Extended", "Money",
                                     "Text",   "Any",   "Lines",  "Part",   "Other"};

class DataFiler : public ::testing::Test {
protected:
    DataFiler() { Store.SetIniFileName(QString::fromStdString(Folder.File())); }

    void Save(TTestComponent& Object) {
        TDataFiler Filer(Store, "Sec");
        for (const char* Name : AllProperties)
            Filer.SaveEntry(Object, Name);
    }

    // A fresh object restored from a file that holds Lines under [Sec].
    std::unique_ptr<TTestComponent> Restored(const std::string& Lines) {
        WriteText(Folder.File(), "[Sec]\n" + Lines + "\n");
        auto Object = std::make_unique<TTestComponent>(&Owner);
        TDataFiler Filer(Store, "Sec");
        for (const char* Name : AllProperties) {
            try {
                Filer.RestoreEntry(*Object, Name);
            } catch (const EYstreloError&) {
                // as the state object does: the entry keeps its value
            }
        }
        return Object;
    }

    QString Text(const QObject& Object, const char* Name) {
        return TDataFiler::ValueText(Object, TDataFiler::FindProperty(Object, Name));
    }

    TProfileFolder Folder;
    TIniFileStore Store;
    QObject Owner;
};

} // namespace

TEST_F(DataFiler, WritesEveryValueForm) {
    TTestComponent Object(&Owner);
    Save(Object);
    EXPECT_EQ(ReadText(Folder.File()), "[Sec]\n"
                                       "obj.Flag=True\n"
                                       "obj.Shade=Blue\n"
                                       "obj.Styles=[Bold,Under]\n"
                                       "obj.Count=-1\n"
                                       "obj.Big=-9223372036854775808\n"
                                       "obj.Small=65535\n"
                                       "obj.Letter=x\n"
                                       "obj.Byte=q\n"
                                       "obj.Single=0.1\n"
                                       "obj.Double=0.333333333333333\n"
                                       "obj.Extended=0.333333333333333333\n"
                                       "obj.Money=1234.5678\n"
                                       "obj.Text=hello\n"
                                       "obj.Any=42\n"
                                       "obj.PartWidth=7\n"
                                       "[Sec.obj.Lines]\n"
                                       "Count=2\n"
                                       "Item0=a\n"
                                       "Item1=b\n"
                                       "[Sec.obj.PartTags]\n"
                                       "Count=1\n"
                                       "Item0=x\n");
}

TEST_F(DataFiler, ReadsDamagedTextByTheRulesOfEachType) {
    auto O = Restored("obj.Flag=yes\nobj.Shade=purple\nobj.Styles=[italic, Bogus]\n"
                      "obj.Count=abc\nobj.Small=-1\nobj.Letter=hello\nobj.Single=1e39\n"
                      "obj.Double=abc\nobj.Money=12.34567\nobj.Text=  spaced \nobj.Any=word");
    EXPECT_TRUE(O->Flag);                         // no such name: unchanged
    EXPECT_EQ(O->Shade, TTestComponent::Blue);    // likewise
    EXPECT_EQ(O->Styles, TTestComponent::Italic); // unknown words ignored
    EXPECT_EQ(O->Count, -1);                      // not an integer: unchanged
    EXPECT_EQ(O->Small, 65535);                   // not one of this width: likewise
    EXPECT_EQ(O->Letter, u'h');
    EXPECT_EQ(O->Single, 0.1f);    // out of range: unchanged
    EXPECT_EQ(O->Double, 1.0 / 3); // not a number: unchanged
    EXPECT_EQ(O->Money.Value, 123457);
    EXPECT_EQ(O->Text, "spaced");
    EXPECT_EQ(O->Any, QVariant(QString("word")));

    O = Restored("obj.Flag=false\nobj.Shade=GREEN\nobj.Styles=[]\nobj.Count=+12\n"
                 "obj.Double= 2.5E3 \nobj.Big=99999999999\nobj.Byte=w\nobj.Extended=0.5\n"
                 "obj.PartWidth=9\n[Sec.obj.Lines]\nCount=3\nItem0=p\nItem2=r\n"
                 "[Sec.obj.PartTags]\nCount=1\nItem0=t");
    EXPECT_FALSE(O->Flag);
    EXPECT_EQ(O->Shade, TTestComponent::Green);
    EXPECT_EQ(O->Styles, TTestComponent::TStyles());
    EXPECT_EQ(O->Count, 12);
    EXPECT_EQ(O->Double, 2500);
    EXPECT_EQ(O->Big, 99999999999LL);
    EXPECT_EQ(O->Byte, 'w');
    EXPECT_EQ(O->Extended, 0.5L);
    EXPECT_EQ(O->Part->Width, 9);
    EXPECT_EQ(O->Part->Tags, QStringList{"t"});
    EXPECT_EQ(O->Lines, QStringList({"p", "", "r"}));

    for (const char* Count : {"Count=0", "Count=x", "Count=10001"})
        EXPECT_EQ(Restored(std::string("[Sec.obj.Lines]\n") + Count)->Lines,
                  QStringList({"a", "b"}));
}

TEST_F(DataFiler, FormatsFloatingPointInTheGeneralFormat) {
    TTestComponent O(&Owner);
    const std::pair<double, const char*> Cases[] = {{1e20, "1E20"},
                                                    {1.5e-6, "1.5E-6"},
                                                    {0.00001234, "0.00001234"},
                                                    {100, "100"},
                                                    {-2.5, "-2.5"},
                                                    {123456789012345678.0, "1.23456789012346E17"},
                                                    {999999999999999.9, "1E15"},
                                                    {0, "0"},
                                                    {std::nan(""), "NAN"}};
    for (const auto& [Value, Expected] : Cases) {
        O.Double = Value;
        EXPECT_EQ(Text(O, "Double"), Expected) << Value;
    }
    O.Single = 1.0f / 3;
    EXPECT_EQ(Text(O, "Single"), "0.3333333");
    O.Money.Value = -5000;
    EXPECT_EQ(Text(O, "Money"), "-0.5");
    O.Money.Value = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Text(O, "Money"), "-922337203685477.5808");
}

TEST_F(DataFiler, AnEmptyTextIsWrittenForStringsOnlyAndNeverReadBack) {
    TTestComponent O(&Owner);
    O.Letter = u' ';
    O.Text.clear();
    O.Any = QVariant();
    TDataFiler Filer(Store, "Sec");
    for (const char* Name : {"Letter", "Text", "Any"})
        Filer.SaveEntry(O, Name);
    EXPECT_EQ(ReadText(Folder.File()), "[Sec]\nobj.Text=\n");

    // A blank character stays blank rather than turning into character 0; a value the
    // file does not mention keeps all its digits.
    WriteText(Folder.File(), "[Sec]\nobj.Letter=z\n");
    O.Double = 0.1 + 0.2;
    Filer.RestoreEntry(O, "Letter");
    Filer.RestoreEntry(O, "Double");
    EXPECT_EQ(O.Letter, u' ');
    EXPECT_EQ(O.Double, 0.1 + 0.2);
}

TEST_F(DataFiler, FindsPropertiesIgnoringCase) {
    TTestComponent O(&Owner);
    EXPECT_STREQ(TDataFiler::FindProperty(O, "sTyLeS").name(), "Styles");
    EXPECT_FALSE(TDataFiler::FindProperty(O, "Nothing").isValid());
    EXPECT_EQ(TDataFiler::Trim(QString("\t\r x y \n\x01")), "x y");
}
