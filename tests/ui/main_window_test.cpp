#include "window_fixture.h"

#include "support/disc_builder.h"
#include "history/patch_history.h"
#include "support/test_files.h"
#include "tolvane_version.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/logo_view.h"
#include "ui/qt/modal_dialogs.h"
#include "logo/picture/png_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QThread>

namespace tolvane {
namespace {

using testing::makeImage;
using testing::patternLogo;
using testing::TempDir;
using testing::writeFile;

TEST_F(MainWindowTest, PlacesEveryControlWithItsNameTextAndFont) {
    EXPECT_EQ(window->objectName(), "fmprinc");
    EXPECT_EQ(window->windowTitle(), "Tolvane Editor by Darquil ");
    struct Row {
        const char* name;
        QString text;
        QRect geometry;
    };
    const Row rows[] = {
        {"bnouvimg", "Open Cdrwin Bin ", {0, 184, 121, 25}},    {"bnpatch", " Patch ", {480, 184, 121, 25}},
        {"bnquitter", "  Quit ", {688, 184, 81, 25}},           {"bnouvbmp", "  Open Bitmap   ", {344, 184, 129, 25}},
        {"bnsauvbmp", "  Save Bitmap   ", {128, 184, 129, 25}},
    };
    for (const Row& row : rows) {
        auto* button = child(row.name);
        EXPECT_EQ(button->text(), row.text) << row.name;
        EXPECT_EQ(button->geometry(), row.geometry) << row.name;
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 9.75) << row.name;
        EXPECT_FALSE(button->isDefault()) << row.name;
    }
    auto* title = child<QLabel>("lbtitre");
    EXPECT_EQ(title->text(), "Tolvane Editor 0.2.2 beta");
    EXPECT_EQ(title->geometry(), QRect(184, 8, 369, 25));
    EXPECT_EQ(title->font().pointSizeF(), 18);
    EXPECT_EQ(title->font().weight(), QFont::Bold);
    EXPECT_EQ(child<LogoView>("piboot")->geometry(), QRect(0, 48, 769, 129));
    EXPECT_GE(window->height(), kClientHeight);
    EXPECT_EQ(window->width(), 770);
}

TEST_F(MainWindowTest, TabsThroughTheControlsInOrderStartingAtOpenImage) {
    EXPECT_EQ(QApplication::focusWidget(), child("bnouvimg"));
    const char* order[] = {"bnouvimg", "piboot", "bnpatch", "bnquitter", "bnouvbmp", "bnsauvbmp", "cbconsole", "cbpal"};
    QWidget* at = child("bnouvimg");
    for (const char* name : order) {
        EXPECT_EQ(at->objectName(), name);
        at = at->nextInFocusChain();
        while (at->focusPolicy() == Qt::NoFocus) at = at->nextInFocusChain();
    }
}

TEST_F(MainWindowTest, EnablesButtonsAlongTheEditCycleByRealClicks) {
    // A desktop's usual status font, so that the status after Patch fits whole;
    // Qt 5's offscreen platform picks a far larger one.
    child<QLabel>("lbetat")->setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    EXPECT_EQ(child<QLabel>("lbetat")->text(), "Tolvane Editor " TOLVANE_VERSION ": open a disc image to begin");
    EXPECT_EQ(switched(), (std::vector<bool>{false, false, false}));
    click("bnpatch");
    click("bnouvbmp");
    EXPECT_TRUE(dialogs->asked.empty()) << "a disabled button answered a click";

    click("bnouvimg", image);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(QApplication::focusWidget(), child<LogoView>("piboot"));
    click("bnsauvbmp", dir / "saved.bmp");
    EXPECT_TRUE(std::filesystem::exists(dir / "saved.bmp"));
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    const auto menu = child<LogoView>("piboot")->actions();
    ASSERT_EQ(menu.size(), 2);
    EXPECT_EQ(menu[1]->text(), "Save as patch file...");
    EXPECT_FALSE(menu[1]->isEnabled());
    click("bnouvbmp", bitmap);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(child<QLabel>("lbetat")->text(), "Imported logo.bmp - press Patch to write it into game.bin");
    // Save as patch file goes with Patch, through its dialog, and changes neither.
    ASSERT_TRUE(menu[1]->isEnabled());
    dialogs->answers.push_back(qt(dir / "logo.xdelta"));
    menu[1]->trigger();
    EXPECT_EQ(dialogs->asked.back(), Dialog::dialsauvpatch);
    EXPECT_TRUE(std::filesystem::exists(dir / "logo.xdelta"));
    EXPECT_EQ(testing::readFile(image), makeImage(30000));
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, true}));
    click("bnpatch");
    EXPECT_EQ(switched(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(extractLogo(testing::readPrefix(image)).logo, patternLogo(9));
    EXPECT_EQ(child<QLabel>("lbetat")->text(), "Patched game.bin; Ctrl+Z takes the patch back");
    EXPECT_FALSE(menu[1]->isEnabled());

    // Ctrl+Z, and the same entry in the logo's context menu, take it back once the person says yes.
    EXPECT_EQ(menu[0]->text(), "Take the last patch back");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    dialogs->answerYes = true;
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dialogs->questions.size(), 1);
    EXPECT_EQ(testing::readFile(image), makeImage(30000));
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    EXPECT_TRUE(child<QLabel>("lbetat")->text().startsWith("Took back the patch of "))
        << child<QLabel>("lbetat")->text().toStdString();
    EXPECT_TRUE(dialogs->failures.isEmpty());
}

TEST_F(MainWindowTest, DrawsEachLogoByteAsATwoByTwoBlock) {
    ImagePrefix prefix;
    LogoImage ramp{};
    for (std::size_t k = 0; k < kLogoLength; ++k) ramp[k] = static_cast<Byte>(k % 256);
    insertLogo(ramp, prefix);
    std::vector<Byte> bytes(prefix.bytes().begin(), prefix.bytes().end());
    writeFile(image, bytes);
    click("bnouvimg", image);

    const QImage picture = drawn();
    const auto grey = [&](int x, int y) { return qGray(picture.pixel(x, y)); };
    EXPECT_EQ(grey(0, 2), 384 % 256);  // byte 384 starts the second row of blocks
    EXPECT_EQ(grey(1, 3), 384 % 256);
    EXPECT_EQ(grey(766, 0), 383 % 256);
    EXPECT_EQ(grey(767, 1), 383 % 256);
    EXPECT_EQ(grey(2 * 200, 2 * 63), (63 * 384 + 200) % 256);
    EXPECT_EQ(grey(2, 0), 1);
}

TEST_F(MainWindowTest, AllBlackAndAllWhiteLogosFillTheirRectangle) {
    for (Byte value : {Byte(0), Byte(255)}) {
        ImagePrefix prefix;
        LogoImage flat{};
        flat.fill(value);
        insertLogo(flat, prefix);
        writeFile(image, std::vector<Byte>(prefix.bytes().begin(), prefix.bytes().end()));
        click("bnouvimg", image);
        const QImage picture = drawn();
        for (int y = 0; y < 128; y += 7)
            for (int x = 0; x < 768; x += 13) ASSERT_EQ(qGray(picture.pixel(x, y)), value) << x << "," << y;
        EXPECT_EQ(qGray(picture.pixel(767, 127)), value);
    }
}

TEST_F(MainWindowTest, KeepsThePictureThroughRepaintsAndOpenBitmap) {
    click("bnouvimg", image);
    const QImage before = drawn();
    window->showMinimized();
    window->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(drawn(), before);
    click("bnouvbmp", bitmap);
    EXPECT_EQ(drawn(), before) << "Open Bitmap must not redraw the logo";
}

TEST_F(MainWindowTest, AFailureShowsAMessageAndTheWindowStaysUsable) {
    click("bnouvimg", dir / "missing.bin");
    ASSERT_EQ(dialogs->failures.size(), 1);
    EXPECT_TRUE(dialogs->failures[0].contains("missing.bin")) << dialogs->failures[0].toStdString();
    EXPECT_TRUE(dialogs->failures[0].contains("No such file or directory"));
    EXPECT_TRUE(window->isVisible());
    click("bnouvimg", image);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
}

TEST_F(MainWindowTest, CancelledDialogsChangeNothing) {
    click("bnouvimg", image);
    const QImage before = drawn();
    click("bnouvimg");
    click("bnsauvbmp");
    click("bnouvbmp");
    EXPECT_EQ(drawn(), before);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(dialogs->asked.size(), 4u);
}

TEST_F(MainWindowTest, DroppedFilesOpenAsImagesOrImportAsBitmaps) {
    window->openDroppedFile(bitmap);
    EXPECT_EQ(switched(), (std::vector<bool>{false, false, false}));
    window->openDroppedFile(image);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
    window->openDroppedFile(bitmap);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(dialogs->asked.empty());
}

TEST_F(MainWindowTest, PatchAsksBeforeWritingAFileThatIsNoDiscAndNoChangesNothing) {
    const std::vector<Byte> text(40000, 't');
    writeFile(image, text);
    click("bnouvimg", image);
    click("bnouvbmp", bitmap);
    click("bnpatch");
    ASSERT_EQ(dialogs->questions.size(), 1);
    EXPECT_TRUE(dialogs->questions[0].contains("does not look like a disc image"));
    EXPECT_EQ(testing::readFile(image), text);
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, true}));
}

#ifndef _WIN32
TEST_F(MainWindowTest, OpensADroppedFileWhoseNameIsNotUtf8) {
    const std::filesystem::path odd = dir.path() / std::string("jeu \xE9t\xE9.bin");  // Latin-1, not UTF-8
    writeFile(odd, makeImage(30000));
    const QUrl url = QUrl::fromEncoded("file://" + QByteArray(dir.path().c_str()) + "/jeu%20%E9t%E9.bin");
    EXPECT_EQ(toPath(url), odd);
    window->openDroppedFile(toPath(url));
    EXPECT_TRUE(dialogs->failures.isEmpty()) << dialogs->failures.join("").toStdString();
    EXPECT_EQ(switched(), (std::vector<bool>{true, true, false}));
}
#endif

// A picture is told by its name or, under another name than a disc image's, by
// its first bytes; which picture format, always by its first bytes.
TEST_F(MainWindowTest, DroppedPngImportsWhateverItsName) {
    window->openDroppedFile(image);
    const auto png = encodePng(pictureOf(patternLogo(5)));
    for (const char* name : {"logo.PNG", "logo", "png.bmp"}) {
        writeFile(dir / name, png);
        window->openDroppedFile(dir / name);
        EXPECT_TRUE(dialogs->failures.isEmpty()) << name << ": " << dialogs->failures.join(' ').toStdString();
        EXPECT_EQ(window->editor().state().logo(), patternLogo(5)) << name;
        EXPECT_EQ(window->editor().state().imagePath, image) << name;
    }
    writeFile(dir / "photo.png", {'G', 'I', 'F', '8', '9', 'a'});
    window->openDroppedFile(dir / "photo.png");
    ASSERT_EQ(dialogs->failures.size(), 1);
    EXPECT_TRUE(dialogs->failures[0].contains("is neither a BMP nor a PNG file")) << dialogs->failures[0].toStdString();
    EXPECT_EQ(window->editor().state().imagePath, image);
}

TEST_F(MainWindowTest, QuitAndClosingTheWindowEndTheProgram) {
    click("bnquitter");
    EXPECT_FALSE(window->isVisible());
    window->show();
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ConsoleViewSitsBesideTheTitleAndRedrawsWithoutTouchingTheImage) {
    auto* console = child<QCheckBox>("cbconsole");
    auto* pal = child<QCheckBox>("cbpal");
    EXPECT_FALSE(console->isChecked());
    EXPECT_FALSE(pal->isEnabled());
    for (QWidget* box : {static_cast<QWidget*>(console), static_cast<QWidget*>(pal)}) {
        for (const char* fixed : {"lbtitre", "piboot", "bnouvimg", "bnquitter"})
            EXPECT_FALSE(box->geometry().intersects(window->findChild<QWidget*>(fixed)->geometry())) << fixed;
        EXPECT_LE(box->geometry().right(), 769);
    }
    click("bnouvimg", image);
    const QImage stored = drawn();
    const auto bytes = testing::readFile(image);

    console->click();
    EXPECT_TRUE(pal->isEnabled());
    EXPECT_NE(drawn(), stored);
    EXPECT_EQ(child<LogoView>("piboot")->pictureRect(), QRect(0, 0, 768, 128));
    pal->click();
    EXPECT_EQ(child<LogoView>("piboot")->pictureRect(), QRect(212, 29, 344, 71));
    EXPECT_EQ(child<LogoView>("piboot")->picture().size(), QSize(344, 71));
    console->click();
    EXPECT_EQ(drawn(), stored);
    EXPECT_EQ(testing::readFile(image), bytes);
}

// The caption a window manager shows (_NET_WM_NAME) is the window's title alone:
// Qt appends the application's display name to a title that does not end with it.
TEST(EditorProgram, ItsCaptionUnderX11IsTheWindowTitleAlone) {
    TOLVANE_REQUIRE_PROGRAM("Xvfb");
    TOLVANE_REQUIRE_PROGRAM("xprop");
    QProcess server;
    server.start(QStringLiteral("Xvfb"),
                 QStringList{"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    // A busy machine may take long to start the display, and then the window:
    // each gets up to two minutes.
    constexpr int kPatience = 120000;
    ASSERT_TRUE(server.waitForReadyRead(kPatience)) << "Xvfb did not start in 120 s";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ":" + QString::fromLatin1(server.readAllStandardOutput()).trimmed());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess editor;
    editor.setProcessEnvironment(environment);
    editor.start(QStringLiteral(TOLVANE_EDITOR), QStringList());

    // xprop finds the window by its WM_NAME, which Qt sets to the title alone.
    QProcess xprop;
    xprop.setProcessEnvironment(environment);
    const QDeadlineTimer deadline(kPatience);
    do {
        xprop.start(QStringLiteral("xprop"), QStringList{"-name", "Tolvane Editor by Darquil ", "_NET_WM_NAME"});
        xprop.waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 1000)));
        if (xprop.exitStatus() == QProcess::NormalExit && xprop.exitCode() == 0) break;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    const std::string caption = xprop.readAllStandardOutput().toStdString();
    const std::string trouble = xprop.readAllStandardError().toStdString();
    editor.kill();
    editor.waitForFinished();
    server.kill();
    server.waitForFinished();
    EXPECT_EQ(caption, "_NET_WM_NAME(UTF8_STRING) = \"Tolvane Editor by Darquil \"\n") << trouble;
}

TEST(FileDialogs, HaveTheirTitlesFiltersAndExtensions) {
    const auto open = fileDialogSetup(Dialog::dialouvrir);
    EXPECT_EQ(open.title, "Open CDR-Win File     ");
    EXPECT_EQ(open.filters, QStringList({"CDR-Win Files  (*.bin)", "DVD images (*.iso)", "CUE sheets (*.cue)",
                                         "CHD images (*.chd)", "All files (*)"}));
    EXPECT_EQ(open.defaultSuffix, "bin");
    const auto save = fileDialogSetup(Dialog::dialsauvbmp);
    EXPECT_EQ(save.title, "Sauver une image BMP");
    EXPECT_EQ(save.filters, QStringList({"Fichiers BMP (*.bmp)", "PNG image (*.png)"}));
    EXPECT_TRUE(save.save);
    const auto import = fileDialogSetup(Dialog::dialouvbmp);
    EXPECT_EQ(import.title, " Open Bitmap Image  ");
    EXPECT_EQ(import.filters, QStringList({"Bitmap Files (*.bmp)", "PNG image (*.png)"}));
    EXPECT_EQ(import.defaultSuffix, "bmp");
    const auto patch = fileDialogSetup(Dialog::dialsauvpatch);
    EXPECT_EQ(patch.title, "Save as patch file");
    EXPECT_TRUE(patch.save);
}

// The person picks an entry in the dialog's list of types, then types a name.
TEST(FileDialogs, ATypedNameGetsTheExtensionOfTheChosenType) {
    TempDir dir;
    const struct {
        Dialog dialog;
        const char *first, *second, *secondFilter;
    } cases[] = {{Dialog::dialsauvbmp, "boot.bmp", "boot.png", "PNG image (*.png)"},
                 {Dialog::dialouvbmp, "boot.bmp", "boot.png", "PNG image (*.png)"},
                 {Dialog::dialsauvpatch, "boot.xdelta", "boot.ppf", "PPF 3.0 patch (*.ppf)"}};
    for (const auto& [dialog, first, second, secondFilter] : cases) {
        QFileDialog chooser;
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        setUpChooser(chooser, fileDialogSetup(dialog));
        chooser.setDirectory(qt(dir.path()));
        auto* types = chooser.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(types && name);
        EXPECT_EQ(chooser.selectedNameFilter(), fileDialogSetup(dialog).filters.constFirst());
        const auto typed = [&](const QString& text) {
            name->setText(text);
            return QFileInfo(chooser.selectedFiles().value(0)).fileName();
        };
        // Not "logo": Qt adds no extension to a name that is a folder in the working
        // folder, and the source tree, where the tests may run, has logo/.
        EXPECT_EQ(typed("boot"), first);
        QTest::keyClick(types, Qt::Key_Down);
        ASSERT_EQ(chooser.selectedNameFilter(), secondFilter);
        EXPECT_EQ(typed("boot"), second);
        EXPECT_EQ(typed(first), first);
        QTest::keyClick(types, Qt::Key_Up);
        EXPECT_EQ(typed("boot"), first);
    }
}

TEST(AppIcon, ShowsBlueLettersOnBlackAtEighteenBySixteen) {
    const QImage icon = appIconImage();
    EXPECT_EQ(icon.size(), QSize(18, 16));
    int blue = 0, black = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 18; ++x) {
            const QRgb p = icon.pixel(x, y);
            if (p == qRgb(0, 0, 0))
                ++black;
            else if (qBlue(p) > 200 && qRed(p) < 100)
                ++blue;
        }
    EXPECT_EQ(blue + black, 18 * 16);
    EXPECT_GT(blue, 30);
    EXPECT_EQ(icon.pixel(1, 4), qRgb(0x20, 0x60, 0xFF));  // top-left of the P
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
