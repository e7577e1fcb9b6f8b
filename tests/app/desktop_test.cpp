// The whole program on a desktop with a window manager, against the
// simulated bench, as an operator uses it: "setup", "start" refused, "start",
// then a run whose analyzer drops its connection, and the report in a
// browser. Every window of a run must lie inside the client area at the
// size at which nothing is cut, whatever the others did; no window may stand
// in two frames or leave an empty one; every message and dialog must open in
// front of the main window; every message must show its whole text; and the
// report's pictures must be large enough to read. The report is also shown
// while the desktop's launcher takes its time: the program left then, and a
// launcher that fails in the middle of a run. Screenshots of the whole screen
// go into the build tree.

#include "../instruments/simbench_process.h"
#include "../support/event_pump.h"
#include "../support/fake_launcher.h"
#include "../support/free_port.h"
#include "../support/registry_fixture.h"
#include "../ui/browser_view.h"
#include "../ui/program_on_the_bench.h"
#include "ACPForm.h"
#include "AboutForm.h"
#include "ButtonForm.h"
#include "Current.h"
#include "General.h"
#include "HtmlReport.h"
#include "MainForm.h"
#include "MainFormAccess.h"
#include "MsgBig.h"
#include "RegAccess.h"
#include "ResultForm.h"
#include "SetHandle.h"
#include "SetupGUI.h"
#include "VISARscEditor.h"
#include "foreign_windows.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>

namespace {

QString BuildFile(const QString& name) {
    return QCoreApplication::applicationDirPath() + "/" + name;
}

// The screen as the X server shows it, once every window has painted what
// it holds now.
void Screenshot(const QString& name) {
    // What was just shown or moved is drawn, and the X server has drawn it,
    // before the screen is read.
    QGuiApplication::sync();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->repaint();
    QGuiApplication::sync();
    QGuiApplication::primaryScreen()->grabWindow(0).save(BuildFile("desktop_" + name + ".png"));
}

std::string Text(const QRect& r) {
    return QString("%1x%2+%3+%4")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y())
        .toStdString();
}

// A label shows its whole text: as wide as its longest word and as high as
// its text at its width.
void ExpectWholeText(const QLabel* label, const std::string& what) {
    ASSERT_NE(label, nullptr) << what;
    EXPECT_GE(label->width(), label->minimumSizeHint().width()) << what;
    if (label->wordWrap())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what;
    else
        EXPECT_GE(label->height(), label->sizeHint().height()) << what;
}

// The windows an X property of `window` (of the root window for 0) names,
// as the X server holds them now.
std::vector<WId> XWindows(const char* property, WId window = 0) {
    ForeignWindows x;
    std::vector<WId> ids;
    for (std::uint32_t id : x.WindowsIn(property, xcb_window_t(window)))
        ids.push_back(WId(id));
    return ids;
}

// Where the window manager holds a box: on top of every window, with the
// focus, and owned by the main window (so that it stays above it).
std::string FrontFault(QWidget* box) {
    const WId id = box->winId();
    const std::vector<WId> stacking = XWindows("_NET_CLIENT_LIST_STACKING");
    if (stacking.empty()) return "no stacking order from the window manager";
    if (stacking.back() != id) return "not on top";
    if (XWindows("_NET_ACTIVE_WINDOW") != std::vector<WId>{id}) return "not active";
    const std::vector<WId> owner = XWindows("WM_TRANSIENT_FOR", id);
    if (owner != std::vector<WId>{MainFormAccess::Window()->winId()})
        return "not transient for the main window";
    return {};
}

// Checks every message box while it is shown, takes a picture of the screen
// with it, and answers it the way that lets the program go on; other dialogs
// (input boxes, file dialogs, the about box: seen by their titles) are
// checked in front and cancelled.
class MessageWatch {
public:
    explicit MessageWatch(QString name) : name_(std::move(name)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start(100);
    }
    std::vector<std::string> seen;

private:
    void Look() {
        // Only what is shown now counts: a box gone and a new one in its
        // place are two messages.
        std::map<QWidget*, Shown> shown;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            auto* big = qobject_cast<MsgBig*>(w);
            auto* asking = box ? nullptr : qobject_cast<QDialog*>(w);
            if ((!box && !big && !asking) || !w->isVisible()) continue;
            // The large message box is one window whose text changes.
            const QString text = box ? box->text() : big ? big->Message->text() : w->windowTitle();
            Shown& now = shown[w] = shownSince_[w];
            if (now.text != text) now = Shown{text};
            if (now.checked) continue;
            if (!now.frontFault.empty()) now.frontFault = FrontFault(w);
            // Checked once its window manager has framed and sized it and
            // put it in front, or has long failed to.
            if (++now.ticks < 4 || (!now.frontFault.empty() && !now.frontDeadline.hasExpired()))
                continue;
            now.checked = true;
            const std::string what = text.toStdString();
            seen.push_back(what);
            EXPECT_EQ(now.frontFault, "") << what;
            if (asking) {
                Screenshot(name_ + "_dialog" + QString::number(seen.size()));
                asking->reject();
                continue;
            }
            EXPECT_GE(w->width(), w->sizeHint().width()) << what;
            // A text that wraps needs the height its lines take at the box's width.
            QLayout* lines = w->layout();
            EXPECT_GE(w->height(), lines && lines->hasHeightForWidth()
                                       ? lines->totalHeightForWidth(w->width())
                                       : w->sizeHint().height())
                << what;
            ExpectWholeText(box ? box->findChild<QLabel*>("qt_msgbox_label") : big->Message, what);
            // The title bar has room for the whole title beside its buttons.
            QFont title = QApplication::font("QMdiSubWindowTitleBar");
            title.setBold(true);
            EXPECT_GE(w->width(), QFontMetrics(title).horizontalAdvance(w->windowTitle()) + 96)
                << w->windowTitle().toStdString();
            Screenshot(name_ + "_message" + QString::number(seen.size()));
            if (box)
                box->defaultButton() ? box->defaultButton()->click() : box->buttons()[0]->click();
            else if (big->OKButton->isVisible())
                big->OKButton->click();
        }
        shownSince_.swap(shown);
    }

    struct Shown {
        QString text;
        int ticks = 0;
        bool checked = false;
        std::string frontFault = "not looked at";
        QDeadlineTimer frontDeadline{30000};
    };
    QString name_;
    QTimer timer_;
    std::map<QWidget*, Shown> shownSince_;
};

struct Desktop : RegistryFixture {
    QTemporaryDir folder;
    const std::string key = SetHandle::kDefaultDeviceRegEntry;

    void SetUp() override {
        RegistryFixture::SetUp();
        SetHandle::SetProgramFolder(folder.path().toStdString());
        // A level where no plausibility question stops the run, and a rate
        // the bench's analyzer family does not offer.
        std::ofstream(folder.filePath("Quillon.INI").toStdString())
            << "[Measure]\r\nTargetLevel=-5\r\n[Measure\\Sampling]\r\nRate=20000000\r\n";
    }
    void TearDown() override {
        if (MainForm::Exists()) delete &MainForm::Instance();
        SetHandle::SetProgramFolder("");
        RegistryFixture::TearDown();
    }
    void ListBench(const SimBench& bench) {
        int n = 0;
        for (const char* role : {"modsource", "rf", "analyzer"})
            RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, key,
                                     "DEVICE" + std::to_string(++n), bench.Resource(role));
    }
    static void Discover() {
        ButtonForm::Instance().AutoSet->click();
        PumpUntil([] { return ButtonForm::Instance().StartB->isEnabled(); }, 30000);
    }
    // The least size of each window at which nothing is cut: the curve
    // window's 900 x 650 and the verification window's 1000 x 720, at which
    // their graphs are readable; the result window's 280 x 125 box with its
    // edges; windows laid out from their controls at
    // nine tenths of what they take with this desktop's fonts, so that
    // another font still fits.
    static QSize LeastSize(const std::string& title) {
        static const std::map<std::string, QSize> sizes = {
            {"Measure AM/AM, AM/PM", {900, 650}}, {"Verify Amplifier Parameters", {1000, 720}},
            {"Measurement Results", {288, 133}},  {"Main Actions", {240, 130}},
            {"Equipment Setup", {1300, 460}},     {"Current Status", {370, 280}}};
        const auto found = sizes.find(title);
        return found == sizes.end() ? QSize() : found->second;
    }
    static void ExpectInsideAtLeastSize(QMdiArea* area, QWidget* window) {
        const std::string title = window->windowTitle().toStdString();
        QWidget* frame = MainFormAccess::FrameOf(window);
        ASSERT_NE(frame, window) << title << " is not in the client area";
        EXPECT_TRUE(frame->isVisible()) << title;
        EXPECT_TRUE(area->viewport()->rect().contains(frame->geometry()))
            << title << " at " << Text(frame->geometry()) << " in "
            << Text(area->viewport()->rect());
        EXPECT_GE(window->width(), window->sizeHint().width()) << title;
        EXPECT_GE(window->height(), window->sizeHint().height()) << title;
        const QSize least = LeastSize(title);
        ASSERT_TRUE(least.isValid()) << title;
        EXPECT_GE(window->width(), least.width()) << title;
        EXPECT_GE(window->height(), least.height()) << title;
    }
    // Every event posted so far has run, deferred deletions included: what a
    // check finds undone after this was not done, however busy the machine.
    static void Settle() {
        bool reached = false;
        QTimer::singleShot(0, [&reached] { reached = true; });
        ASSERT_TRUE(PumpUntil([&reached] { return reached; }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // One frame per window: none empty, none framing a hidden window.
    static void ExpectNoEmptyFrame(QMdiArea* area, const std::string& after) {
        for (QMdiSubWindow* sub : area->subWindowList()) {
            QWidget* w = sub->widget();
            EXPECT_TRUE(w && w->parentWidget() == sub)
                << "empty frame \"" << sub->windowTitle().toStdString() << "\" after " << after;
            if (w && sub->isVisible()) {
                EXPECT_TRUE(w->isVisible()) << sub->windowTitle().toStdString() << " " << after;
            }
        }
    }
    // What the Windows menu lists when it opens.
    static QStringList WindowsMenu(MainForm& main) {
        QMenu* menu = nullptr;
        for (QAction* a : main.menuBar()->actions())
            if (a->text() == "&Windows") menu = a->menu();
        if (!menu) return {};
        menu->popup(main.mapToGlobal(QPoint(200, 40)));
        PumpFor(200);
        QStringList titles;
        bool listed = false;
        for (QAction* a : menu->actions()) {
            if (listed) titles << a->text();
            listed = listed || a->isSeparator();
        }
        menu->hide();
        PumpFor(100);
        return titles;
    }
    // Not blank: the middle of the picture, where the plot area lies, holds
    // colours beyond the white, greys and black of an empty graph.
    static bool HasColouredData(const QImage& picture) {
        int coloured = 0;
        for (int y = picture.height() / 5; y < picture.height() * 4 / 5; y += 2)
            for (int x = picture.width() / 5; x < picture.width() * 4 / 5; x += 2) {
                const QColor c = picture.pixelColor(x, y);
                if (std::max({c.red(), c.green(), c.blue()}) -
                        std::min({c.red(), c.green(), c.blue()}) >
                    60)
                    ++coloured;
            }
        return coloured > 20;
    }
};

} // namespace

TEST_F(Desktop, ARunShowsEveryWindowWholeAndReadablePictures) {
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    ListBench(bench);
    MainForm& main = MainForm::StartProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    PumpFor(500);
    QMdiArea* area = main.ClientArea();
    Screenshot("start");
    const QRect screen = main.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(main.frameGeometry())) << Text(main.frameGeometry());
    for (QWidget* window :
         {static_cast<QWidget*>(&ButtonForm::Instance()),
          static_cast<QWidget*>(&SetupGUI::Instance()), static_cast<QWidget*>(&Current::Instance()),
          static_cast<QWidget*>(&ResultForm::Instance())})
        ExpectInsideAtLeastSize(area, window);
    // The equipment setup is not covered by the progress window.
    EXPECT_FALSE(MainFormAccess::FrameOf(&SetupGUI::Instance())
                     ->geometry()
                     .intersects(MainFormAccess::FrameOf(&Current::Instance())->geometry()))
        << Text(MainFormAccess::FrameOf(&SetupGUI::Instance())->geometry()) << " under "
        << Text(MainFormAccess::FrameOf(&Current::Instance())->geometry());

    // A rate stored for another analyzer family, which the bench's does not
    // offer: Start meets one refusal after the other, each in front of the
    // main window; so is a message box of the standard kind.
    {
        MessageWatch watch("refused");
        Discover();
        ASSERT_TRUE(ButtonForm::Instance().StartB->isEnabled()) << "the discovery found the bench";
        ButtonForm::Instance().StartB->click();
        main.HelpHelp_Click();
        ASSERT_EQ(watch.seen.size(), 3u);
        EXPECT_EQ(watch.seen[0], "Sampling rate is zero! Please select correct value\r\n(the "
                                 "stored rate 20 MHz is not offered by the HOB analyzer)");
        EXPECT_EQ(watch.seen[1], "Clock for signal generation and analysis must be equal!");
        EXPECT_EQ(watch.seen[2], "No help viewer is available on this system.");
    }
    QComboBox* rates = SetupGUI::Instance().AnaSampFreqDisc;
    rates->setCurrentIndex(rates->findText("16 MHz"));
    ASSERT_GE(rates->currentIndex(), 0);

    {
        MessageWatch watch("run");
        ButtonForm::Instance().StartB->click();
    }
    ASSERT_TRUE(General::DataPresent) << General::RunErrorText;
    PumpFor(500);
    Screenshot("run");

    QWidget* verify = nullptr;
    for (QMdiSubWindow* sub : area->subWindowList())
        if (sub->widget() && sub->widget()->windowTitle() == "Verify Amplifier Parameters")
            verify = sub->widget();
    ASSERT_NE(verify, nullptr) << "the run verified its predistortion";
    for (QWidget* window :
         {static_cast<QWidget*>(&ButtonForm::Instance()),
          static_cast<QWidget*>(&SetupGUI::Instance()), static_cast<QWidget*>(&Current::Instance()),
          static_cast<QWidget*>(&ResultForm::Instance()),
          static_cast<QWidget*>(&ACPForm::Instance()), verify})
        ExpectInsideAtLeastSize(area, window);
    ExpectNoEmptyFrame(area, "the run");
    const QStringList listed = WindowsMenu(main);
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()).size(), listed.size())
        << listed.join(", ").toStdString();
    EXPECT_TRUE(listed.contains("Main Actions")) << listed.join(", ").toStdString();
    ExpectNoEmptyFrame(area, "the Windows menu");

    for (std::size_t n = 0; n < General::Pictures.size(); ++n) {
        const QImage& picture = General::Pictures[n];
        EXPECT_GE(picture.width(), 600) << "picture " << n;
        EXPECT_GE(picture.height(), 400) << "picture " << n;
        EXPECT_TRUE(HasColouredData(picture)) << "picture " << n << " is blank";
        picture.save(BuildFile(QString("desktop_picture%1.png").arg(n)));
    }

    // The report as a browser shows it: the eight detailed pictures at a
    // natural size that can be read.
    General::PrintItem[2] = true;
    const std::string reportFolder = folder.filePath("report").toStdString();
    QDir().mkpath(QString::fromStdString(reportFolder));
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(reportFolder, "CurrentReport.html", {}));
    const QDir reportDir(QString::fromStdString(reportFolder));
    const BrowserView view = LoadInBrowser(reportDir.filePath("CurrentReport.html"));
    ASSERT_EQ(view.error, "");
    std::set<int> detailed;
    for (const QString& image : view.images) {
        const QString src = image.section('=', 0, -2), width = image.section('=', -1);
        for (int n = 0; n < 8; ++n)
            if (src.endsWith(QString("/IMG%1.png").arg(n))) {
                detailed.insert(n);
                EXPECT_GE(width.toInt(), 600) << src.toStdString();
                const QSize size =
                    QImageReader(reportDir.filePath(QUrl::fromPercentEncoding(src.toUtf8())))
                        .size();
                EXPECT_GE(size.height(), 400) << src.toStdString();
            }
    }
    EXPECT_EQ(detailed.size(), 8u) << view.images.join(" ").toStdString();

    // The resource editor's OK and "Close All" leave no frame behind.
    main.VISAResource_Click();
    PumpFor(200);
    // An input box, a file dialog and the about box open in front of the
    // main window too.
    {
        MessageWatch watch("asked");
        VISARscEditor::Instance().DefaultResource_Click(5);
        main.SaveIQNow_Click();
        main.Info_Click();
        ASSERT_TRUE(PumpUntil([&watch] { return watch.seen.size() == 3; }, 60000));
        EXPECT_EQ(watch.seen, (std::vector<std::string>{"RESOURCE", "select file name",
                                                        "Information about Quillon"}));
    }
    VISARscEditor::Instance().OK->click();
    Settle();
    ExpectNoEmptyFrame(area, "the resource editor's OK");
    // A data display maximised over the others: once it is closed with the
    // others, the windows that stay keep their own sizes.
    main.NewDataDisplay_Click();
    QPointer<QMdiSubWindow> display = area->activeSubWindow();
    ASSERT_TRUE(display && display->windowTitle() == "Data Display");
    display->showMaximized();
    ASSERT_TRUE(
        PumpUntil([&] { return display->widget()->width() > area->width() * 9 / 10; }, 30000));
    main.WindowCloseAll_Click();
    ASSERT_TRUE(PumpUntil([&] { return !display || !display->isVisible(); }));
    ExpectNoEmptyFrame(area, "Close All Measurement Windows");
    Screenshot("closed");
    for (QMdiSubWindow* sub : area->subWindowList())
        EXPECT_FALSE(sub->isMaximized()) << sub->windowTitle().toStdString();
    EXPECT_EQ(ButtonForm::Instance().size(), ButtonForm::Instance().sizeHint())
        << "the action window's controls are not stretched";
    for (QWidget* window :
         {static_cast<QWidget*>(&ButtonForm::Instance()),
          static_cast<QWidget*>(&SetupGUI::Instance()), static_cast<QWidget*>(&Current::Instance()),
          static_cast<QWidget*>(&ResultForm::Instance())})
        ExpectInsideAtLeastSize(area, window);

    // A run whose analyzer drops its connection ends with the abort message;
    // then a discovery that misses the analyzer names what is missing.
    SimBench faulty(Args("--fault drop=analyzer"));
    ASSERT_TRUE(faulty.ready);
    ListBench(faulty);
    MessageWatch watch("fault");
    Discover();
    ASSERT_TRUE(ButtonForm::Instance().StartB->isEnabled());
    ButtonForm::Instance().StartB->click();
    PumpUntil([] { return !MsgBig::Instance().isVisible(); }, 10000);
    RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, key, "DEVICE3",
                             "TCPIP0::127.0.0.1::1::SOCKET");
    ButtonForm::Instance().AutoSet->click();
    Settle();
    ExpectNoEmptyFrame(area, "the faults");
    bool aborted = false, missing = false;
    for (const std::string& text : watch.seen) {
        aborted = aborted || text.rfind("Measurement aborted.", 0) == 0;
        missing = missing || text.find("missing IQ analyzer") != std::string::npos;
    }
    EXPECT_TRUE(aborted) << "the abort message was checked";
    EXPECT_TRUE(missing) << "the missing analyzer was named";
}

// "quillon CVI,..." as another application starts it: only that
// application's about box opens, and its Close ends the program with code 0.
TEST_F(Desktop, ACVILineOpensOnlyItsAboutBoxWhoseCloseEndsTheProgram) {
    ForeignWindows display;
    ASSERT_TRUE(display.Connected());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLON_FOLDER", folder.path());
    env.insert("QUILLON_REGISTRY_FILE", folder.filePath("registry.txt"));
    QProcess quillon;
    quillon.setProcessEnvironment(env);
    quillon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quillon.start(QUILLON_APP,
                  {"CVI,\"Probe\",\"2.1\",\"2024-05-06\",\"A probe\",\"Me\",\"None\""});
    ASSERT_TRUE(quillon.waitForStarted(30000));

    // Where its Close button lies: the same box, laid out at the same size.
    AboutForm::Subject subject{"Probe", "2.1", "2024-05-06", "A probe", "Me", "None", true};
    AboutForm replica(subject);
    replica.setAttribute(Qt::WA_DontShowOnScreen);
    std::vector<ForeignWindows::Window> shown;
    QPoint close;
    auto drawn = [&] {
        shown = display.Of(quillon.processId());
        if (shown.size() != 1 || shown[0].title != "Information about Probe") return false;
        replica.resize(shown[0].width, shown[0].height);
        replica.show();
        replica.layout()->activate();
        const QRect button(replica.Close()->mapTo(&replica, QPoint(0, 0)), replica.Close()->size());
        close = button.center();
        // Its caption is drawn there: the program runs its event loop.
        const QImage picture = QGuiApplication::primaryScreen()->grabWindow(shown[0].id).toImage();
        int dark = 0;
        for (int y = button.top(); y <= button.bottom(); ++y)
            for (int x = button.left(); x <= button.right(); ++x)
                dark += picture.valid(x, y) && qGray(picture.pixel(x, y)) < 80 ? 1 : 0;
        return dark > 20;
    };
    const bool ready = PumpUntil(drawn, 60000);
    std::string titles;
    for (const auto& w : shown)
        titles += "\"" + w.title + "\" ";
    ASSERT_TRUE(ready) << "the program's windows: " << titles;
    EXPECT_EQ(display.Of(quillon.processId()).size(), 1u) << "no other window opened";

    // A click on Close; the program may take a while under load to answer it.
    for (QDeadlineTimer t(60000); quillon.state() != QProcess::NotRunning && !t.hasExpired();) {
        display.Click(shown[0].id, close.x(), close.y());
        quillon.waitForFinished(2000);
    }
    ASSERT_EQ(quillon.state(), QProcess::NotRunning) << "Close did not end the program";
    EXPECT_EQ(quillon.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quillon.exitCode(), 0);
}

// The equipment setup with its "advanced" frame hidden and shown: the test
// signal's choices, its file field and buttons, and the frame's field each
// keep the room they need, side by side without overlapping.
TEST_F(Desktop, EquipmentSetupKeepsEveryTestSignalControlReadableWithAdvancedShownOrNot) {
    MainForm& main = MainForm::StartProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    SetupGUI& setup = SetupGUI::Instance();
    const std::vector<QWidget*> controls = {
        setup.MeasSig[0], setup.MeasSig[1],     setup.MeasSig[2], setup.MeasSig[3],
        setup.FileName,   setup.LoadFileButton, setup.FileInfo,   setup.BOXWIQAmp};
    const auto roomy = [&](bool advanced) {
        if (setup.BOXWIQAmp->isVisible() != advanced) return false;
        for (const QWidget* control : controls)
            if (control->isVisible() && (control->width() < control->sizeHint().width() ||
                                         control->height() < control->sizeHint().height()))
                return false;
        return true;
    };
    for (const bool advanced : {false, true}) {
        if (advanced) setup.BOXWAdvanced->click();
        const QString state = advanced ? "advanced" : "plain";
        // Checked once the layout has given every control its room, or has
        // long failed to.
        PumpUntil([&] { return roomy(advanced); }, 30000);
        Screenshot("setup_" + state);
        ExpectInsideAtLeastSize(main.ClientArea(), &setup);
        std::vector<std::pair<QWidget*, QRect>> placed;
        for (QWidget* control : controls) {
            if (!control->isVisible()) continue;
            const std::string what = state.toStdString() + " " +
                                     control->metaObject()->className() + " \"" +
                                     control->property("text").toString().toStdString() + "\"";
            EXPECT_GE(control->width(), control->sizeHint().width()) << what;
            EXPECT_GE(control->height(), control->sizeHint().height()) << what;
            const QRect place(control->mapTo(&setup, QPoint(0, 0)), control->size());
            for (const auto& [other, at] : placed)
                EXPECT_FALSE(place.intersects(at))
                    << what << " at " << Text(place) << " overlaps "
                    << other->property("text").toString().toStdString() << " at " << Text(at);
            placed.emplace_back(control, place);
        }
        EXPECT_EQ(placed.size(), advanced ? 8u : 7u) << state.toStdString();
    }
    setup.BOXWAdvanced->click();
    EXPECT_TRUE(PumpUntil([&] { return !setup.BOXWIQAmp->isVisible(); }, 30000));
}

namespace {

// The main window of process `pid`, 0 until it is shown.
xcb_window_t MainWindowOf(ForeignWindows& display, qint64 pid) {
    for (const ForeignWindows::Window& w : display.Of(pid))
        if (w.title.rfind("Korva & Tellin Quillon", 0) == 0) return w.id;
    return 0;
}

// Chooses "Measurement Report" > "Show Measurement Report" from the keyboard
// in the main window, once it has the focus; again while the launcher has
// not started, as a key may reach the window before its focus does.
bool ShowReportFromTheMenu(ForeignWindows& display, xcb_window_t main,
                           const FakeLauncher& launcher) {
    for (QDeadlineTimer t(120000); !t.hasExpired() && launcher.Started().empty();) {
        display.Activate(main);
        PumpUntil([&] { return XWindows("_NET_ACTIVE_WINDOW") == std::vector<WId>{main}; }, 5000);
        display.Key(main, 0xff1b); // Escape: no menu left open by a try before
        display.Key(main, 'm', XCB_MOD_MASK_1);
        display.Key(main, 'r');
        PumpUntil([&] { return !launcher.Started().empty(); }, 20000);
    }
    return !launcher.Started().empty();
}

} // namespace

// Closed during a run, the program aborts the run, lets its end message
// pass and ends with code 0, its settings saved: a quit that the waiting end
// message declined would leave it running with nobody to close it.
TEST_F(Desktop, ClosingTheMainWindowDuringARunEndsTheProgramOnceTheRunHasUnwound) {
    ForeignWindows display;
    ASSERT_TRUE(display.Connected());
    // An analyzer that answers each command after half a second: the run
    // takes long enough for the close to arrive while it is under way.
    SimBench bench(Args("--fault slow=analyzer,500"));
    ASSERT_TRUE(bench.ready);
    ProgramOnTheBench quillon(folder, bench);
    ASSERT_EQ(quillon.client.state(), QAbstractSocket::ConnectedState);
    ASSERT_TRUE(quillon.Start());
    xcb_window_t main = 0;
    ASSERT_TRUE(
        PumpUntil([&] { return (main = MainWindowOf(display, quillon.process.processId())); }));
    display.Close(main);

    ASSERT_TRUE(quillon.process.waitForFinished(kPatientMs)) << "Close did not end the program";
    // The run was cut short: it never came to upload its last variant.
    const auto uploads = bench.Log("modsource");
    EXPECT_FALSE(std::any_of(uploads.begin(), uploads.end(), [](const std::string& l) {
        return l.rfind("MMEM:DATA 'QUILAMPM'", 0) == 0;
    })) << "the close arrived after the run had ended";
    EXPECT_EQ(quillon.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quillon.process.exitCode(), 0);
    EXPECT_EQ(quillon.Errors().toStdString(), "");
    std::ifstream ini(folder.filePath("Quillon.INI").toStdString());
    const std::string saved((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(saved.find("AMAMOrder="), std::string::npos) << "the settings were not saved";
}

// The report shown, and the program left at once while the desktop's
// launcher still looks for a viewer: it ends with code 0 and says nothing,
// and the launcher, which is the user's, runs on.
TEST_F(Desktop, LeavingWhileTheReportViewerOpensEndsCleanlyAndLeavesTheLauncherRunning) {
    ForeignWindows display;
    ASSERT_TRUE(display.Connected());
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    FakeLauncher launcher(0, FakeLauncher::Ends::WhenReleased);
    ProgramOnTheBench quillon(folder, bench);
    ASSERT_EQ(quillon.client.state(), QAbstractSocket::ConnectedState);
    ASSERT_TRUE(quillon.Run()) << "a run gives the report its data";
    xcb_window_t main = 0;
    ASSERT_TRUE(
        PumpUntil([&] { return (main = MainWindowOf(display, quillon.process.processId())); }));

    ASSERT_TRUE(ShowReportFromTheMenu(display, main, launcher));
    display.Close(main);

    ASSERT_TRUE(quillon.process.waitForFinished(kPatientMs)) << "Close did not end the program";
    EXPECT_EQ(quillon.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quillon.process.exitCode(), 0);
    EXPECT_EQ(quillon.Errors().toStdString(), "");
    ASSERT_EQ(launcher.Started().size(), 1u);
    EXPECT_TRUE(FakeLauncher::Running(launcher.Started()[0])) << "the launcher was ended with it";
    EXPECT_FALSE(launcher.Ended());
}

namespace {

// The lines of the progress window's status list.
std::vector<std::string> StatusLines() {
    std::vector<std::string> lines;
    QListWidget* list = Current::Instance().StatList;
    for (int k = 0; k < list->count(); ++k)
        lines.push_back(list->item(k)->text().toStdString());
    return lines;
}

// This process's descriptors that watch a process.
int ProcessDescriptors() {
    int n = 0;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code gone; // closed meanwhile
        n += std::filesystem::read_symlink(fd, gone).string() == "anon_inode:[pidfd]";
    }
    return n;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

// The desktop's launcher finds no viewer while a run is under way: the run
// goes on without waiting for an OK, its status list says so at once, and
// the box comes once the run has ended. The launcher is collected.
TEST_F(Desktop, ALauncherFailingDuringARunShowsItsBoxOnlyOnceTheRunHasEnded) {
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    ListBench(bench);
    MainForm& main = MainForm::StartProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    Discover();
    QComboBox* rates = SetupGUI::Instance().AnaSampFreqDisc;
    rates->setCurrentIndex(rates->findText("16 MHz"));
    {
        MessageWatch watch("viewer_data");
        ButtonForm::Instance().StartB->click();
    }
    ASSERT_TRUE(General::DataPresent) << "a run gives the report its data";

    FakeLauncher launcher(1, FakeLauncher::Ends::WhenReleased);
    const int descriptors = ProcessDescriptors();
    MessageWatch watch("viewer");
    main.ShowReport_Click();
    ASSERT_TRUE(PumpUntil([&] { return !launcher.Started().empty(); }));
    const std::string noViewer = "No viewer could open the measurement report " +
                                 QDir(folder.path()).filePath("CurrentReport.html").toStdString() +
                                 ".";
    // In the middle of the run the launcher ends, and its answer comes while
    // the run waits here.
    bool released = false, listed = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (released || !General::MeasureBusy) return;
        released = true;
        launcher.Release();
        listed = PumpUntil([&] { return Contains(StatusLines(), noViewer); });
    });
    during.start(20);
    ButtonForm::Instance().StartB->click();
    during.stop();
    const std::vector<std::string> seenInRun = watch.seen;
    ASSERT_TRUE(released) << "the run was under way";
    EXPECT_TRUE(listed) << "the status list named the failure during the run";
    EXPECT_FALSE(Contains(seenInRun, noViewer)) << "the box came during the run";
    EXPECT_TRUE(General::DataPresent) << General::RunErrorText;

    EXPECT_TRUE(PumpUntil([&] { return Contains(watch.seen, noViewer); }))
        << "the box came after the run";
    EXPECT_TRUE(FakeLauncher::Gone(launcher.Started()[0])) << "the launcher was not collected";
    EXPECT_EQ(ProcessDescriptors(), descriptors);
}
