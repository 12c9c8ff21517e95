// The Qt window as a person who uses the keyboard and reads the status meets it:
// keys sent to the window as the platform sends them, the status area read as a
// screen reader reads it and copied as the person copies it.
#include "window_fixture.h"

#include "support/disc_builder.h"
#include "ui/qt/status_area.h"
#include "ui/common/window_controls.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace tolvane {
namespace {

using testing::buildDisc;
using testing::patternLogo;
using testing::writeFile;

const std::string kLongGame =
    "Grand Adventure of the Very Long Title - Special Collector's Edition (Europe) (Disc 1).bin";

bool waitFor(const std::function<bool()>& done) {
    for (int tries = 0; tries < 200 && !done(); ++tries) QTest::qWait(10);
    return done();
}

class KeyboardTest : public MainWindowTest {
protected:
    KeyboardTest() {
        // A desktop's usual status font; Qt 5's offscreen platform picks a far larger one.
        child<StatusArea>("lbetat")->setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

public:
    // A key as the platform delivers it: to the focused control, shortcuts first.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }

protected:
    QString focused() const { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""; }
};

// The status area as it is drawn (as a screen reader gets it), whether each line
// fits, the tooltip as the person reads it (Qt shows markup-looking tooltips as
// markup), and what Ctrl+C puts on the clipboard.
struct ShownStatus {
    explicit ShownStatus(KeyboardTest& test, StatusArea* area) {
        const QString shown = QAccessible::queryAccessibleInterface(area)->text(QAccessible::Name);
        text = shown.toStdString();
        lines = shown.split(QLatin1Char('\n'));
        fits = lines.size() <= kStatusLines && area->height() >= area->linesHeight();
        for (const QString& line : lines) fits = fits && area->fontMetrics().horizontalAdvance(line) <= area->width();
        const QString tooltip = area->toolTip();
        tip = (Qt::mightBeRichText(tooltip) ? QTextDocumentFragment::fromHtml(tooltip).toPlainText() : tooltip)
                  .toStdString();
        QApplication::clipboard()->clear();
        test.press(Qt::Key_C, Qt::ControlModifier);
        copied = QApplication::clipboard()->text().toStdString();
    }
    // The lines read one after the other, as the text they were cut from.
    std::string joined() const { return lines.join(QLatin1Char(' ')).toStdString(); }
    bool lineMatches(int k, const char* pattern) const {
        return k < lines.size() && QRegularExpression(QString::fromUtf8(pattern)).match(lines[k]).hasMatch();
    }
    std::string text;
    QStringList lines;
    std::string tip;
    std::string copied;
    bool fits = false;
};

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

TEST_F(KeyboardTest, ANonDiscFileWithALongNameIsToldWholeAndCopiedWhole) {
    const std::string name = "My Favourite Game Of All Time (USA) (Collector's Edition) Track 1.bin";
    writeFile(dir / name, std::vector<Byte>(40000, 't'));
    dialogs->answers.push_back(qt(dir / name));
    press(Qt::Key_Return);  // on Open Cdrwin Bin, which has the focus
    const ShownStatus status(*this, child<StatusArea>("lbetat"));
    EXPECT_TRUE(status.fits) << status.text;
    const std::string reason =
        "Warning: it does not look like a disc image: none of its first 12 sectors starts with the CD sync, and it "
        "has no ISO 9660 volume";
    EXPECT_NE(status.copied.find("Opened " + name), std::string::npos) << status.copied;
    EXPECT_NE(status.copied.find("\n" + reason), std::string::npos) << status.copied;
    EXPECT_NE(status.joined().find(reason), std::string::npos) << "the warning is shown whole: " << status.text;
    if (status.text.find("\u2026") == std::string::npos) {
        EXPECT_EQ(status.joined(), oneLine(status.copied));
        EXPECT_EQ(status.tip, "") << "nothing was shortened";
    } else {  // a wider message font: only the name gives way, and the tooltip holds it all
        EXPECT_TRUE(status.lineMatches(0, R"(^Opened My Fav.+\x{2026}.+1\.bin: raw 2352-byte sectors)")) << status.text;
        EXPECT_EQ(status.tip, status.copied);
    }
}

TEST_F(KeyboardTest, EachWarningTakesALineOfItsOwnAndOnlyTheNamesAreShortened) {
    writeFile(dir / kLongGame, buildDisc({}, kRawMode2Layout));
    dialogs->answers.push_back(qt(dir / kLongGame));
    press(Qt::Key_Space);
    const std::string warnings =
        "Warning: byte 0 of the logo is 0x00, not the key 0x8D that the serial gives; the logo may be stored with "
        "another key\nWarning: Japanese and European consoles may refuse a disc whose logo was changed";
    const std::string whole =
        "Opened " + kLongGame + ": raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC\n" + warnings;
    window->showStatus(whole);
    const ShownStatus status(*this, child<StatusArea>("lbetat"));
    EXPECT_TRUE(status.fits) << status.text;
    ASSERT_EQ(status.lines.size(), 3) << status.text;
    EXPECT_TRUE(status.lineMatches(
        0, R"(^Opened Grand .+\x{2026}.+\.bin: raw 2352-byte sectors, user data at 24, SLUS_200\.01, NTSC$)"))
        << status.text;
    EXPECT_EQ(status.lines[1].toStdString() + "\n" + status.lines[2].toStdString(), warnings);
    EXPECT_EQ(status.copied, whole);
    EXPECT_EQ(status.tip, whole);
}

TEST_F(KeyboardTest, LongFileNamesStayWholeWhileTheLinesHaveRoom) {
    const std::string logo = "Replacement boot logo drawn for the European special edition, final version.bmp";
    writeFile(dir / kLongGame, buildDisc({}, kRawMode2Layout));
    exportBitmap(dir / logo, pictureOf(patternLogo(4)));
    const auto status = [&] { return ShownStatus(*this, child<StatusArea>("lbetat")); };

    click("bnouvimg", dir / kLongGame);
    EXPECT_EQ(status().joined(), "Opened " + kLongGame + ": raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC");
    EXPECT_TRUE(status().fits);
    click("bnouvbmp", dir / logo);
    EXPECT_EQ(status().joined(),
              "Imported " + logo + " - press Patch to write it into " + kLongGame + " (12 sectors get new EDC/ECC)");
    EXPECT_TRUE(status().fits);
    // A failure names the whole path, and the reason after it.
    const auto missing = dir / ("missing " + kLongGame);
    click("bnouvimg", missing);
    EXPECT_EQ(status().copied, "Cannot open \"" + missing.string() + "\" for reading: No such file or directory");
    EXPECT_EQ(status().joined(), status().copied);
    EXPECT_TRUE(status().fits);
}

TEST_F(KeyboardTest, AStatusTooLongEvenWithShortNamesIsCutAtTheEndOfItsLastLine) {
    writeFile(dir / kLongGame, buildDisc({}, kRawMode2Layout));
    click("bnouvimg", dir / kLongGame);
    const std::string whole = "Patched " + kLongGame + " " + std::string(400, 'w');
    window->showStatus(whole);
    const ShownStatus status(*this, child<StatusArea>("lbetat"));
    EXPECT_TRUE(status.fits);
    ASSERT_EQ(status.lines.size(), 3) << status.text;
    EXPECT_TRUE(status.lineMatches(0, R"(^Patched Gr\S*\x{2026}\S*\.bin w+$)")) << status.text;
    EXPECT_TRUE(status.lineMatches(2, R"(^w+\x{2026}$)")) << status.text;
    EXPECT_EQ(status.copied, whole);
    EXPECT_EQ(status.tip, whole);
}

TEST_F(KeyboardTest, FileNamesThatLookLikeMarkupShowAsTyped) {
    const std::string game = "<i>game.bin";
    writeFile(dir / game, buildDisc({}, kRawMode2Layout));
    click("bnouvimg", dir / game);
    const std::string opened = "Opened <i>game.bin: raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC";
    EXPECT_EQ(ShownStatus(*this, child<StatusArea>("lbetat")).text, opened);
    window->showStatus(opened + "\nWarning: a\nWarning: b " + std::string(400, 'w'));
    const ShownStatus status(*this, child<StatusArea>("lbetat"));
    EXPECT_EQ(status.lines.value(0).toStdString(), opened);
    EXPECT_EQ(status.tip, status.copied);
}

TEST_F(KeyboardTest, ReturnAndEnterPressTheFocusedButtonAsSpaceDoes) {
    ASSERT_EQ(focused(), "bnouvimg");
    press(Qt::Key_Return);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(dialogs->asked, (std::vector<Dialog>{Dialog::dialouvrir, Dialog::dialouvrir}));

    dialogs->answers.push_back(qt(image));
    press(Qt::Key_Return);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    ASSERT_EQ(focused(), "piboot");
    press(Qt::Key_Return);  // the picture is no button: nothing happens
    EXPECT_EQ(dialogs->asked.size(), 3u);
    press(Qt::Key_Tab);  // past Patch, which is off, to Quit
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), "bnouvbmp");
    dialogs->answers.push_back(qt(bitmap));
    press(Qt::Key_Return);
    EXPECT_EQ(dialogs->asked.back(), Dialog::dialouvbmp);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(dialogs->failures.isEmpty()) << dialogs->failures.join(' ').toStdString();
}

TEST_F(KeyboardTest, SpaceTwiceAfterPatchOpensTheNextImageInsteadOfQuitting) {
    click("bnouvimg", image);
    click("bnouvbmp", bitmap);
    child("bnouvbmp")->clearFocus();
    child<LogoView>("piboot")->setFocus();
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), "bnpatch");
    press(Qt::Key_Space);
    EXPECT_EQ(extractLogo(testing::readPrefix(image)).logo, patternLogo(9));
    EXPECT_EQ(focused(), "bnouvimg");
    press(Qt::Key_Space);
    EXPECT_EQ(dialogs->asked.back(), Dialog::dialouvrir);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(KeyboardTest, ThePictureAreaShowsAFocusMarkAndABoxKeepsTheFocusWhenTicked) {
    const auto marked = [&] {
        const QImage shot = window->grab().toImage();
        const QColor highlight = window->palette().color(QPalette::Highlight);
        bool all = true, none = true;
        for (const Place& mark : focusMarkPlaces())
            for (int x = mark.left; x < mark.left + mark.width; x += 17)
                for (int y = mark.top; y < mark.top + mark.height; ++y) {
                    const bool lit = shot.pixelColor(x, y) == highlight;
                    all = all && lit;
                    none = none && !lit;
                }
        EXPECT_TRUE(all || none) << "a mark drawn in part";
        return all;
    };
    EXPECT_FALSE(marked());
    click("bnouvimg", image);
    ASSERT_EQ(focused(), "piboot");
    EXPECT_TRUE(marked());
    const QImage logo = drawn();
    EXPECT_EQ(logo.pixelColor(0, 0), QColor(logo.pixelColor(1, 1))) << "the mark covers the picture";

    for (int tab = 0; tab < 4; ++tab) press(Qt::Key_Tab);  // Quit, Open Bitmap, Save Bitmap, Console view
    ASSERT_EQ(focused(), "cbconsole");
    EXPECT_FALSE(marked());
    press(Qt::Key_Space);
    EXPECT_TRUE(child<QCheckBox>("cbconsole")->isChecked());
    EXPECT_EQ(focused(), "cbconsole");
    press(Qt::Key_Space);
    EXPECT_FALSE(child<QCheckBox>("cbconsole")->isChecked());
    EXPECT_EQ(focused(), "cbconsole");
    EXPECT_FALSE(marked());
}

TEST_F(MainWindowTest, ADropEndsAtOnceItsWorkFollowsAndSeveralFilesAreToldWhy) {
    const auto drop = [&](const std::vector<std::filesystem::path>& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& file : files) urls << QUrl::fromLocalFile(qt(file));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(400, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(400, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
        EXPECT_TRUE(dropped.isAccepted());
    };
    drop({dir / "missing.bin"});
    EXPECT_TRUE(dialogs->failures.isEmpty()) << "the drop waited for the message";
    ASSERT_TRUE(waitFor([&] { return !dialogs->failures.isEmpty(); }));
    EXPECT_TRUE(dialogs->failures[0].contains("missing.bin")) << dialogs->failures[0].toStdString();

    drop({image, bitmap});
    ASSERT_TRUE(waitFor([&] { return !child<StatusArea>("lbetat")->wholeText().startsWith("Cannot"); }));
    EXPECT_EQ(child<StatusArea>("lbetat")->wholeText(),
              "Drop one file at a time: a disc image, or a bitmap to import.");
    EXPECT_EQ(switched(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(dialogs->failures.size(), 1);
}

TEST(CommandLineImage, OpensOnceTheWindowIsShownAndItsFailureStandsOverTheWindow) {
    testing::TempDir dir;
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *scripted;
    MainWindow window(std::move(scripted));
    window.openOnceShown(dir / "missing.bin");
    QTest::qWait(50);
    EXPECT_TRUE(dialogs.failures.isEmpty()) << "opened before the window was shown";
    window.show();
    ASSERT_TRUE(waitFor([&] { return !dialogs.failures.isEmpty(); }));
    EXPECT_TRUE(dialogs.failures[0].contains("missing.bin")) << dialogs.failures[0].toStdString();
    EXPECT_EQ(dialogs.failureOwners.at(0), &window);
    EXPECT_TRUE(dialogs.failureOwnerShown.at(0));

    const auto image = dir / "game.bin";
    testing::writeFile(image, testing::makeImage(30000));
    window.openOnceShown(image);  // once shown, at once
    ASSERT_TRUE(waitFor([&] { return window.editor().state().imagePath == image; }));
}

}  // namespace
}  // namespace tolvane
