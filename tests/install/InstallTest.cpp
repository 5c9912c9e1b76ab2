// Installs the build into a temporary prefix and checks what desktops, man and
// XScreenSaver will find there.

#include "config/Form.h"
#include "config/frConfigure.h"
#include "host/CommandLine.h"

#include <QApplication>

#include <QImage>
#include <QXmlStreamReader>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr const char* HostWindow = "0x40000C";
constexpr std::uint32_t HostWindowId = 0x40000C;
// The bitmap sizes installed beside the drawing.
constexpr int IconSizes[] = {48, 256};

std::string Slurp(const fs::path& Path) {
    std::ifstream In(Path);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

std::string Quoted(const std::string& Text) {
    std::string Result = "'";
    for (char C : Text)
        Result += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Result + "'";
}

struct TShellResult {
    int ExitCode = -1;
    std::string Output; // stdout and stderr together
};

// Runs Command through /bin/sh, as XScreenSaver and users do.
TShellResult Shell(const std::string& Command, const fs::path& Scratch) {
    const fs::path Output = Scratch / "shell-output";
    const int Status = std::system(("(" + Command + ") >" + Quoted(Output) + " 2>&1").c_str());
    TShellResult Result;
    Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Result.Output = Slurp(Output);
    return Result;
}

// The words the shell makes of Line once XSCREENSAVER_WINDOW holds a window id.
std::vector<std::string> WordsOf(const std::string& Line, const fs::path& Scratch) {
    const TShellResult Result = Shell("XSCREENSAVER_WINDOW=" + std::string(HostWindow) +
                                          "; set -- " + Line + "; printf '%s\\n' \"$@\"",
                                      Scratch);
    EXPECT_EQ(Result.ExitCode, 0) << Result.Output;
    std::vector<std::string> Words;
    std::istringstream In(Result.Output);
    for (std::string Word; std::getline(In, Word);)
        Words.push_back(Word);
    return Words;
}

// What the program would do with the words of a command line: its own name first.
TCommandLine Parsed(const std::vector<std::string>& Words) {
    if (Words.empty())
        return {};
    return ParseCommandLine({Words.begin() + 1, Words.end()});
}

std::string KeyOf(const std::string& Text, const std::string& Key) {
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);)
        if (Line.rfind(Key + "=", 0) == 0)
            return Line.substr(Key.size() + 1);
    return {};
}

// The settings file as the dialog writes it on a first run: every key with the value it
// has when the file does not say otherwise.
std::map<std::string, std::string> FirstRunSettings(const fs::path& Folder) {
    static int Argc = 1;
    static char Name[] = "install_tests";
    static char* Argv[] = {Name, nullptr};
    static QApplication Application(Argc, Argv);
    const std::string Old = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", Folder.c_str(), 1);
    // Never shown: freeing it saves what it restored, as at the end of a saver run.
    delete TForm::Create<TConfigureFrame>(nullptr);
    setenv("XDG_CONFIG_HOME", Old.c_str(), 1);
    std::map<std::string, std::string> Keys;
    std::istringstream In(Slurp(Folder / "Ystrelo.ini"));
    for (std::string Line; std::getline(In, Line);)
        if (const auto Equals = Line.find('='); Equals != std::string::npos && Line[0] != '[')
            Keys[Line.substr(0, Equals)] = Line.substr(Equals + 1);
    return Keys;
}

class Install : public ::testing::Test {
protected:
    // One install for all cases: it is the slow part.
    static void SetUpTestSuite() {
        char Template[] = "/tmp/ystrelo-install-XXXXXX";
        ASSERT_NE(mkdtemp(Template), nullptr);
        Scratch = new fs::path(Template);
        Prefix = new fs::path(*Scratch / "prefix");
        Installed = new TShellResult(
            Shell("cmake --install " + Quoted(YSTRELO_BINARY_DIR) + " --prefix " + Quoted(*Prefix),
                  *Scratch));
    }

    static void TearDownTestSuite() {
        std::error_code Ignored;
        fs::remove_all(*Scratch, Ignored);
        delete Installed;
        delete Prefix;
        delete Scratch;
    }

    void SetUp() override { ASSERT_EQ(Installed->ExitCode, 0) << Installed->Output; }

    static fs::path File(const std::string& Relative) { return *Prefix / Relative; }

    static inline fs::path* Scratch = nullptr;
    static inline fs::path* Prefix = nullptr;
    static inline TShellResult* Installed = nullptr;
};
} // namespace

TEST_F(Install, PutsTheProgramInBinAndItRunsFromThere) {
    const fs::path Program = File("bin/ystrelo");
    ASSERT_TRUE(fs::is_regular_file(Program));
    EXPECT_EQ(access(Program.c_str(), X_OK), 0);
    // Unrecognised arguments end quietly, without a display; a window id out of range is
    // the program's own error.
    // A guard of its own: behind another Ystrelo of this user it would end in silence.
    const std::string Alone = "DISPLAY= XDG_RUNTIME_DIR=" + Quoted(*Scratch) + " ";
    const TShellResult Quiet = Shell(Alone + Quoted(Program) + " /x", *Scratch);
    EXPECT_EQ(Quiet.ExitCode, 0);
    EXPECT_EQ(Quiet.Output, "");
    const TShellResult Range = Shell(Alone + Quoted(Program) + " /p -1", *Scratch);
    EXPECT_EQ(Range.ExitCode, 1);
    EXPECT_EQ(Range.Output, "ystrelo: Range check error\n");
}

TEST_F(Install, TheLauncherIsValidOpensTheDialogAndFindsItsIcon) {
    const fs::path Desktop = File("share/applications/ystrelo.desktop");
    ASSERT_TRUE(fs::is_regular_file(Desktop));
    const TShellResult Valid = Shell("desktop-file-validate " + Quoted(Desktop), *Scratch);
    EXPECT_EQ(Valid.ExitCode, 0) << Valid.Output;
    EXPECT_EQ(Valid.Output, "");

    const std::string Text = Slurp(Desktop);
    EXPECT_EQ(KeyOf(Text, "Name"), "Ystrelo");
    const auto Words = WordsOf(KeyOf(Text, "Exec"), *Scratch);
    ASSERT_FALSE(Words.empty());
    EXPECT_TRUE(fs::is_regular_file(File("bin/" + Words[0]))) << Words[0];
    EXPECT_EQ(Parsed(Words).Mode, smConfigure);

    // The icon theme finds the icon by the launcher's name for it, in the folder of its size.
    const std::string Icon = KeyOf(Text, "Icon");
    for (const int Size : IconSizes) {
        const std::string Folder = std::to_string(Size) + "x" + std::to_string(Size);
        const QImage Image(QString::fromStdString(
            File("share/icons/hicolor/" + Folder + "/apps/" + Icon + ".png").string()));
        ASSERT_FALSE(Image.isNull()) << "no " << Folder << " PNG icon named " << Icon;
        EXPECT_EQ(Image.width(), Size);
        EXPECT_EQ(Image.height(), Size);
        // A picture, not a blank square.
        std::set<QRgb> Colours;
        for (int Y = 0; Y < Image.height(); Y += 2)
            for (int X = 0; X < Image.width(); X += 2)
                Colours.insert(Image.pixel(X, Y));
        EXPECT_GE(Colours.size(), 8u) << Folder;
    }
    // Any other size is scaled from the drawing, which must be one.
    QXmlStreamReader Drawing(QByteArray::fromStdString(
        Slurp(File("share/icons/hicolor/scalable/apps/" + Icon + ".svg"))));
    ASSERT_TRUE(Drawing.readNextStartElement()) << "no SVG icon named " << Icon;
    EXPECT_EQ(Drawing.name().toString(), "svg");
    EXPECT_FALSE(Drawing.attributes().value("viewBox").isEmpty());
    int Shapes = 0;
    while (Drawing.readNextStartElement()) {
        Shapes += Drawing.name() == QStringLiteral("path");
        Drawing.skipCurrentElement();
    }
    EXPECT_FALSE(Drawing.hasError()) << Drawing.errorString().toStdString();
    EXPECT_GE(Shapes, 8);
}

TEST_F(Install, TheManualPageRendersWithoutWarningsAndItsXScreenSaverLineWorks) {
    const fs::path Page = File("share/man/man6/ystrelo.6");
    ASSERT_TRUE(fs::is_regular_file(Page));
    const TShellResult Render =
        Shell("LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z " + Quoted(Page), *Scratch);
    EXPECT_EQ(Render.ExitCode, 0);
    EXPECT_EQ(Render.Output, "") << "groff warns";

    const TShellResult Text = Shell("LC_ALL=C.UTF-8 MANWIDTH=200 man -l " + Quoted(Page), *Scratch);
    ASSERT_EQ(Text.ExitCode, 0) << Text.Output;
    for (const char* Section :
         {"SYNOPSIS", "MODES", "COMMAND LINE", "XSCREENSAVER", "FILES", "SETTINGS", "EXIT STATUS"})
        EXPECT_NE(Text.Output.find(std::string("\n") + Section + "\n"), std::string::npos)
            << Section;

    // The programs-list line it gives asks for the saver (in the window XScreenSaver names
    // in XSCREENSAVER_WINDOW); the older line still previews that window.
    EXPECT_NE(Text.Output.find(" ystrelo -s\n"), std::string::npos);
    EXPECT_EQ(Parsed(WordsOf("ystrelo -s", *Scratch)).Mode, smSaver);
    const std::string Old = "ystrelo -p \"$XSCREENSAVER_WINDOW\"";
    EXPECT_NE(Text.Output.find(Old), std::string::npos);
    const TCommandLine Command = Parsed(WordsOf(Old, *Scratch));
    EXPECT_EQ(Command.Mode, smPreview);
    EXPECT_EQ(Command.PreviewWindow, HostWindowId);
}

TEST_F(Install, XScreenSaverFindsTheDescriptionAndItsCommandPreviewsTheWindow) {
    const fs::path Xml = File("share/xscreensaver/config/ystrelo.xml");
    ASSERT_TRUE(fs::is_regular_file(Xml));
    const std::string Text = Slurp(Xml);
    QXmlStreamReader Reader(QByteArray::fromStdString(Text));
    std::string Name, Label, Arguments, Description;
    while (!Reader.atEnd()) {
        if (Reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto Attributes = Reader.attributes();
        if (Reader.name() == QLatin1String("screensaver")) {
            Name = Attributes.value("name").toString().toStdString();
            Label = Attributes.value("_label").toString().toStdString();
        } else if (Reader.name() == QLatin1String("command")) {
            Arguments += " " + Attributes.value("arg").toString().toStdString();
        } else if (Reader.name() == QLatin1String("_description")) {
            Description = Reader.readElementText().trimmed().toStdString();
        }
    }
    ASSERT_FALSE(Reader.hasError()) << Reader.errorString().toStdString();
    // The settings program pairs a description with the programs-list entry by the
    // program's name.
    EXPECT_EQ(Name, "ystrelo");
    EXPECT_TRUE(fs::is_regular_file(File("bin/" + Name)));
    EXPECT_EQ(Label, "Ystrelo");
    EXPECT_FALSE(Description.empty());

    // The command XScreenSaver builds from it: the name, then the arguments.
    EXPECT_EQ(Parsed(WordsOf(Name + Arguments, *Scratch)).Mode, smSaver);
}

TEST_F(Install, TheOtherHostsFindTheirEntryAndItsCommandRunsTheSaver) {
    const fs::path Desktop = File("share/applications/screensavers/ystrelo.desktop");
    ASSERT_TRUE(fs::is_regular_file(Desktop));
    const TShellResult Valid = Shell("desktop-file-validate " + Quoted(Desktop), *Scratch);
    EXPECT_EQ(Valid.ExitCode, 0) << Valid.Output;
    const std::string Text = Slurp(Desktop);
    EXPECT_NE(KeyOf(Text, "Categories").find("Screensaver;"), std::string::npos);
    const auto Words = WordsOf(KeyOf(Text, "Exec"), *Scratch);
    ASSERT_FALSE(Words.empty());
    EXPECT_TRUE(fs::is_regular_file(File("bin/" + Words[0]))) << Words[0];
    EXPECT_EQ(Parsed(Words).Mode, smSaver);

    // They run that word only from XScreenSaver's folder of hacks, not from PATH.
    const fs::path Hack = File("libexec/xscreensaver/" + Words[0]);
    ASSERT_TRUE(fs::is_symlink(Hack));
    EXPECT_TRUE(fs::read_symlink(Hack).is_relative()) << "a staged install would point outside";
    EXPECT_TRUE(fs::equivalent(Hack, File("bin/ystrelo")));

    // xsecurelock's module hands the program its host options behind the saver switch, as
    // the locker starts it: the window in XSCREENSAVER_WINDOW, "-root" after the name.
    const fs::path Module = File("libexec/xsecurelock/saver_ystrelo");
    ASSERT_EQ(access(Module.c_str(), X_OK), 0);
    const TShellResult Started = Shell(
        "DISPLAY= XDG_RUNTIME_DIR=" + Quoted(*Scratch) + " XSCREENSAVER_WINDOW=4194316 " +
            Quoted(Module) + " -root",
        *Scratch);
    EXPECT_EQ(Started.ExitCode, 1);
    EXPECT_EQ(Started.Output, "ystrelo: cannot open the X display\n")
        << "a saver in window 4194316 needs a display; anything else ended it in silence";
}

TEST_F(Install, TheManualPageNamesEverySettingWithTheValueAFirstRunWrites) {
    const TShellResult Text = Shell(
        "LC_ALL=C.UTF-8 MANWIDTH=200 man -l " + Quoted(File("share/man/man6/ystrelo.6")), *Scratch);
    ASSERT_EQ(Text.ExitCode, 0) << Text.Output;
    const auto Settings = FirstRunSettings(*Scratch);
    ASSERT_FALSE(Settings.empty()) << "the dialog wrote no settings";

    // Every key the program writes is documented, and the page names no other.
    const std::regex KeyPattern(R"(\b(?:ck|tb|rg|sp)\w+\.(?:Checked|Position|ItemIndex)\b)");
    std::set<std::string> Documented;
    for (std::sregex_iterator It(Text.Output.begin(), Text.Output.end(), KeyPattern), End;
         It != End; ++It)
        Documented.insert(It->str());
    for (const auto& [Key, Value] : Settings)
        EXPECT_TRUE(Documented.count(Key)) << Key << " is not in the manual page";

    // Where the page gives a key's value in parentheses, it is the first run's; a key whose
    // entry says it is written only once ticked keeps a first save as it always was.
    const std::regex Default(R"(\b((?:ck|tb|rg|sp)\w+\.(?:Checked|Position|ItemIndex)) \((\w+)\))");
    std::set<std::string> WrittenLater;
    int Checked = 0;
    for (std::sregex_iterator It(Text.Output.begin(), Text.Output.end(), Default), End; It != End;
         ++It, ++Checked) {
        const std::string Key = (*It)[1].str();
        auto Next = std::next(It);
        const std::string Entry = Text.Output.substr(
            It->position(), Next == End ? std::string::npos : Next->position() - It->position());
        if (Entry.find("written only once") != std::string::npos) {
            WrittenLater.insert(Key);
            EXPECT_FALSE(Settings.count(Key)) << Key << " is written before it is ticked";
            continue;
        }
        EXPECT_EQ((*It)[2].str(), Settings.count(Key) ? Settings.at(Key) : "") << Key;
    }
    for (const auto& Key : Documented)
        EXPECT_TRUE(Settings.count(Key) || WrittenLater.count(Key))
            << Key << " is documented but never written";
    EXPECT_GE(Checked, 10);
    for (const char* Section : {"[TWinControlForm]", "[Monitor-n]", "Ystrelo.ini"})
        EXPECT_NE(Text.Output.find(Section), std::string::npos) << Section;
}

TEST_F(Install, TheUserGuideGivesTheTestedLinesAndShowsItsPictures) {
    const fs::path Source = YSTRELO_SOURCE_DIR;
    const std::string Guide = Slurp(Source / "README.md");
    // The same programs-list line as the manual page, which the cases above run.
    EXPECT_NE(Guide.find("\nystrelo -s\n"), std::string::npos);
    for (const char* Installed : {"bin/ystrelo", "share/xscreensaver/config/ystrelo.xml"}) {
        EXPECT_NE(Guide.find(fs::path(Installed).filename().string()), std::string::npos);
        EXPECT_TRUE(fs::is_regular_file(File(Installed))) << Installed;
    }
    // Every picture it shows is there and is a PNG.
    const std::regex Picture(R"(\]\(([^)]+\.png)\))");
    int Pictures = 0;
    for (std::sregex_iterator It(Guide.begin(), Guide.end(), Picture), End; It != End;
         ++It, ++Pictures) {
        const QImage Image(QString::fromStdString((Source / (*It)[1].str()).string()));
        EXPECT_FALSE(Image.isNull()) << (*It)[1].str();
    }
    EXPECT_GE(Pictures, 2);
}
