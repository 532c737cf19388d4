#include "app/ProgrammerDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QResizeEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

#include "app/AboutDlg.h"
#include "app/CatalogueWatcher.h"
#include "app/FileDropLoader.h"
#include "app/ProgrammerApp.h"
#include "app/QtMessageSink.h"
#include "app/SimulatedHardware.h"
#include "app/SoundPrompts.h"
#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "programmer/DeviceCatalogue.h"
#include "settings/LastFileDialog.h"
#include "settings/HotkeyRegistration.h"
#include "settings/SettingsGrid.h"
#include "settings/core/WindowPlacement.h"
#include "widgets/CommandButtonWidget.h"
#include "widgets/HexEdit.h"
#include "widgets/HyperLink.h"
#include "widgets/PropertyGrid.h"
#include "widgets/TextProgressCtrl.h"

namespace {

struct ButtonPlace {
    int id;
    int x, y, w, h;
};

// The command buttons of the template, in its tab order.
constexpr ButtonPlace kButtonPlaces[] = {
    {kCmdDetect, 13, 23, 44, 14},    {kCmdLoadFile, 7, 56, 127, 19},
    {kCmdSaveFile, 7, 75, 127, 19},  {kCmdErase, 7, 95, 127, 19},
    {kCmdWrite, 7, 115, 127, 19},    {kCmdRead, 7, 135, 127, 19},
    {kCmdVerify, 7, 155, 127, 19},   {kCmdAuto, 7, 175, 127, 19},
    {kCmdLock, 85, 215, 43, 14},
};

constexpr int kPageCount = 4;
// Hidden pages are parked here, with no size.
constexpr int kParkedPos = 2000;

const char* const kTabTexts[kPageCount] = {
    QT_TRANSLATE_NOOP("CProgrammerDlg", "缓冲1"), QT_TRANSLATE_NOOP("CProgrammerDlg", "缓冲2"),
    QT_TRANSLATE_NOOP("CProgrammerDlg", "状态"), QT_TRANSLATE_NOOP("CProgrammerDlg", "设置")};
const char* const kLockLevels[] = {"Lock Bit-1", "Lock Bit-2", "Lock Bit-3"};
// Beside the window's place: the name of the device chosen, since the
// settings block keeps only its index.
const char* const kDeviceNameKey = "Device";

QString ToQt(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CProgrammerDlg::CProgrammerDlg(const Options& options, IMessageSink* messages, QWidget* parent)
    : QDialog(parent), m_options(options)
{
    setWindowTitle(QStringLiteral("Tamberlink V3.0"));
    // A title, a system menu and a minimise box, like the template's popup
    // style; and a maximise box, for the window grows from the template's
    // size, so that a long verify report has room.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(CProgrammerApp::InterfaceFont());

    if (messages) {
        m_pMessages = messages;
    } else {
        m_pOwnMessages = std::make_unique<CQtMessageSink>(this);
        m_pMessages = m_pOwnMessages.get();
    }
    // The controller allocates both buffers, filled with 0xFF.
    m_pSession = std::make_unique<CProgrammerSession>(*this, m_sink, *m_pMessages);
    m_pSession->SetReportUnmarkedAuto(true);
    m_pSettingsGrid = std::make_unique<CSettingsGrid>();
    // The hotkey works like a click on Auto, refused while a step runs.
    m_pHotkey = std::make_unique<CHotkeyRegistration>(this, [this] {
        if (m_pSession)
            m_pSession->OnAuto();
    });
    m_sink.SetHandler([this](const StatusEvent& event) { OnStatusEvent(event); });

    m_watchdog.setInterval(500);
    connect(&m_watchdog, &QTimer::timeout, this, &CProgrammerDlg::OnWatchdog);

    m_pPrompts = new CSoundPrompts(this);
    CreateControls();
    // After the controls: the first command button makes the icons known.
    setWindowIcon(QIcon(QStringLiteral(":/icons/128.svg")));
    OnInitDialog();
    RestorePlacement();
    // A file dropped on the window is a Load file.
    m_pDropLoader = new CFileDropLoader(this, *m_pSession, IniFilePath("LastFile.ini"));
}

CProgrammerDlg::~CProgrammerDlg()
{
    m_watchdog.stop();
    m_sink.SetHandler({});
    m_pHotkey.reset();  // unregisters
    // The child widgets go after the session; keep their last signals (a
    // tab widget losing its pages changes its current tab) away from it.
    for (QObject* child : children())
        child->blockSignals(true);
    m_pSettingsGrid.reset();
    m_pSession.reset();
    m_pSimulated.reset();
}

void CProgrammerDlg::CreateControls()
{
    m_templateSize = MapDialogRect(0, 0, 353, 264).size();
    setMinimumSize(m_templateSize);
    resize(m_templateSize);

    // Created in the template's order, which is also the focus order.
    m_DeviceCombo = new QComboBox(this);
    m_DeviceCombo->setObjectName(QStringLiteral("deviceCombo"));
    m_DeviceCombo->setMaxVisibleItems(16);
    connect(m_DeviceCombo, &QComboBox::activated, this, [this](int index) {
        if (m_pSession)
            m_pSession->SetDeviceSelection(index);
    });

    for (const ButtonPlace& place : kButtonPlaces) {
        auto* button = new CCommandButtonWidget(this);
        const CCommandButton model = CCommandButton::ForCommand(CommandId(place.id));
        button->setText(ToQt(model.PlainCaption()));
        button->setObjectName(QStringLiteral("button%1").arg(place.id));
        button->SetTextLeft(CCommandButtonWidget::IsTextLeftCommand(place.id));
        if (model.IsToggleable())
            button->setToolTip(
                tr("右键单击: 把这一步标记为自动完成的一步, 再次右键单击取消标记."));
        // Enter belongs to the dialog (it runs Auto), not to a default button.
        button->setAutoDefault(false);
        button->setDefault(false);
        const int id = place.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        connect(button, &CCommandButtonWidget::rightClicked, this, [this, id] {
            if (m_pSession)
                m_pSession->OnToggleMark(id);
        });
        m_buttons.emplace_back(id, button);

        if (place.id == kCmdDetect) {
            m_ToolLink = new CHyperLink(tr("Sordane 器件库"), this);
            m_ToolLink->setToolTip(tr("器件库编辑"));
            connect(m_ToolLink, &CHyperLink::clicked, this, &CProgrammerDlg::OnLaunchTool);

            auto* options = new QLabel(tr("操作选项"), this);
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            m_statics.push_back(options);
            m_statics.push_back(line);
        }
        if (place.id == kCmdAuto) {
            auto* lockText = new QLabel(tr("加密选项"), this);
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            m_statics.push_back(lockText);
            m_statics.push_back(line);

            m_LockCombo = new QComboBox(this);
            m_LockCombo->setObjectName(QStringLiteral("lockCombo"));
            connect(m_LockCombo, &QComboBox::activated, this, [this](int index) {
                if (m_pSession)
                    m_pSession->SetLockSelection(index);
            });
        }
    }

    m_Progress = new CTextProgressCtrl(this);

    m_Tab = new QTabWidget(this);
    m_Tab->setTabPosition(QTabWidget::South);
    // The pages themselves are the dialog's own controls, laid over the tab
    // control by SelectPage; the tabs carry empty placeholders.
    connect(m_Tab, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_pSession && index != m_nCurPage)
            SelectPage(index);
    });

    m_HexView1 = new CHexEdit(this);
    m_HexView1->setObjectName(QStringLiteral("hexView1"));
    m_HexView2 = new CHexEdit(this);
    m_HexView2->setObjectName(QStringLiteral("hexView2"));
    // The blank check reads the chip into this page; it has no button of
    // its own, so the command column stays as it is.
    auto* blankCheck = new QAction(tr("空检查"), m_HexView2);
    blankCheck->setObjectName(QStringLiteral("blankCheckAction"));
    connect(blankCheck, &QAction::triggered, this, [this] {
        if (m_pSession)
            m_pSession->OnBlankCheck();
    });
    m_HexView2->addAction(blankCheck);
    m_HexView2->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_LogList = new QListWidget(this);
    m_LogList->setObjectName(QStringLiteral("logList"));
    // Lines are only ever added at the end or cleared; equal heights keep a
    // long verify report cheap to lay out.
    m_LogList->setUniformItemSizes(true);
    m_LogList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_LogList->setFont(CProgrammerApp::LogFont());

    m_Grid = new CPropertyGrid(this);
    m_Grid->setObjectName(QStringLiteral("settingsGrid"));

    PlaceControls();
}

void CProgrammerDlg::PlaceControls()
{
    const int comboHeight = m_DeviceCombo->sizeHint().height();
    PlaceAt(m_DeviceCombo, 7, 8, 94, 0);
    m_DeviceCombo->resize(m_DeviceCombo->width(), comboHeight);

    for (const ButtonPlace& place : kButtonPlaces)
        PlaceAt(ButtonWidget(place.id), place.x, place.y, place.w, place.h);
    PlaceAt(m_ToolLink, 65, 29, 55, 11);
    // The link text may run past its template width, up to the dialog's
    // left panel edge.
    m_ToolLink->resize(std::max(m_ToolLink->width(),
                                std::min(m_ToolLink->sizeHint().width(),
                                         MapDialogRect(65, 0, 134 - 65, 0).width())),
                       m_ToolLink->height());

    // Static texts and sunken lines in the order they were made.
    const QRect staticPlaces[] = {
        MapDialogRect(13, 43, 32, 8), MapDialogRect(50, 47, 84, 1),
        MapDialogRect(13, 200, 32, 8), MapDialogRect(50, 204, 84, 1)};
    for (std::size_t i = 0; i < m_statics.size() && i < std::size(staticPlaces); ++i) {
        QRect rect = staticPlaces[i];
        if (auto* label = qobject_cast<QLabel*>(m_statics[i])) {
            // A CJK font may need a little more than the template's box.
            rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
            rect.setHeight(std::max(rect.height(), label->sizeHint().height()));
            rect.moveTop(rect.top() - (rect.height() - MapDialogRect(0, 0, 0, 8).height()) / 2);
        } else {
            rect.setHeight(2);  // a sunken line is two pixels high
        }
        m_statics[i]->setGeometry(rect);
    }

    PlaceAt(m_LockCombo, 17, 215, 63, 0);
    m_LockCombo->resize(m_LockCombo->width(), comboHeight);
    PlaceAt(m_Progress, 10, 237, 120, 20);
    PlaceAt(m_Tab, 142, 1, 209, 261);
    PlaceAt(m_HexView1, 151, 94, 169, 75);
    PlaceAt(m_HexView2, 161, 103, 166, 61);
    PlaceAt(m_LogList, 165, 89, 158, 103);
}

void CProgrammerDlg::OnInitDialog()
{
    // Buttons as the session's models set them up (icons, marks, captions).
    for (const auto& [id, widget] : m_buttons)
        widget->Apply(m_pSession->Button(id));

    {
        // Inserting the first tab makes it current; that is no page choice.
        const QSignalBlocker block(m_Tab);
        for (int page = 0; page < kPageCount; ++page)
            m_Tab->addTab(new QWidget, tr(kTabTexts[page]));
    }

    m_pSettingsGrid->Build(*m_Grid);
    connect(m_Grid, &CPropertyGrid::notify, this, &CProgrammerDlg::OnGridNotify);
    connect(m_pSettingsGrid.get(), &CSettingsGrid::switchesChanged, this,
            [this](int autoDetect, int soundOn, int) {
                if (!m_pSession)
                    return;
                m_pSession->SetAutoDetect(autoDetect);
                m_pSession->SetSoundOn(soundOn);
            });
    // A serial device picked for the COM port is used at once.
    connect(m_pSettingsGrid.get(), &CSettingsGrid::serialDeviceChosen, this, [this](int comPort) {
        if (m_pSession)
            m_pSession->ReopenSerialPort(comPort);
    });
    // "使用热键" turned on asks for the combination; the grid keeps it for
    // the settings block.
    m_pSettingsGrid->SetHotkeyHook([this] {
        if (m_pHotkey->RunDialog(this, m_pMessages))
            m_pSettingsGrid->SetHotkey(m_pHotkey->Key(), m_pHotkey->Mods());
    });

    CProgrammer& programmer = m_pSession->Programmer();
    ShowBuffer1(programmer.Buffer1, CProgrammer::kBufferSize);
    ShowBuffer2(programmer.Buffer2, CProgrammer::kBufferSize);

    for (int level = 0; level < 3; ++level)
        m_LockCombo->insertItem(level, QString::fromUtf8(kLockLevels[level]));
    m_LockCombo->setCurrentIndex(0);

    m_Progress->hide();

    // The first log lines: they bring the Status page forward.
    m_bSettingsLoaded = m_pSettingsGrid->LoadSettings(
        IniFilePath(SettingsRecord::kFileName), m_Settings,
        [this](const std::string& line) { m_pSession->AppendLog(line); });

    SettingsRecord run = m_Settings;
    if (m_options.programmer) {
        run.progType = *m_options.programmer;
        m_pSettingsGrid->ShowRunningProgType(run.progType);
    }

    if (m_options.simulate) {
        const std::string catalogue = m_options.cataloguePath.empty()
            ? CataloguePath()
            : m_options.cataloguePath;
        const std::vector<DeviceRecord> devices =
            ReadCatalogueFile(catalogue).value_or(std::vector<DeviceRecord>{});
        CSimulatedHardware::Options simulated;
        simulated.paced = m_options.pacedSimulation;
        m_pSimulated = std::make_unique<CSimulatedHardware>(simulated);
        m_pSimulated->Attach(*m_pSession, run, devices, *m_pMessages);
    }

    // Enables the commands, opens the backend (its first report comes as an
    // event once this returns), fills the device list and selects the
    // stored device: by its name, when another one has moved to its index.
    m_pSession->SetStoredDeviceName(CProfileFile(IniFilePath(SettingsRecord::kFileName))
                                        .GetString(WindowPlacement::kSection, kDeviceNameKey, {}));
    m_pSession->Start(run, m_options.cataloguePath);
    // A device saved in Sordane is there without a restart.
    auto* watcher = new CCatalogueWatcher(m_options.cataloguePath, this);
    connect(watcher, &CCatalogueWatcher::changed, this, [this](const QString& path) {
        if (m_pSession)
            m_pSession->ReloadCatalogue(path.toStdString());
    });

    // On a Wayland desktop without a global shortcuts service the hotkey
    // cannot work: its item says why, and the log once when it is on.
    connect(m_pHotkey.get(), &CHotkeyRegistration::unavailable, this, [this] {
        const QString why = m_pSettingsGrid->ShowHotkeyUnavailable();
        if (m_pSettingsGrid->HotkeyOn() && m_pSession)
            m_pSession->AppendLog(why.toStdString());
    });
    connect(m_pHotkey.get(), &CHotkeyRegistration::refused, this, [this] {
        if (m_pSession)
            m_pSession->AppendLog(tr("桌面没有登记热键 (全局快捷键的请求被拒绝).").toStdString());
    });
    m_pHotkey->SetHotkey(m_Settings.hotkeyKey, m_Settings.hotkeyMods);
    m_pHotkey->Register(m_Settings.hotkeyOn != 0);

    m_sinceActivity.start();
    m_watchdog.start();
}

QRect CProgrammerDlg::MapDialogRect(int x, int y, int w, int h) const
{
    // The dialog's base units for its font: the average width of the
    // Latin letters and the line height.
    const QFontMetrics metrics(font());
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = std::max(1, (letters / 26 + 1) / 2);
    const int baseY = std::max(1, metrics.height());
    auto scale = [](int value, int base, int divisor) {
        return (value * base + divisor / 2) / divisor;
    };
    return QRect(scale(x, baseX, 4), scale(y, baseY, 8), scale(w, baseX, 4), scale(h, baseY, 8));
}

void CProgrammerDlg::PlaceAt(QWidget* widget, int x, int y, int w, int h)
{
    widget->setGeometry(MapDialogRect(x, y, w, h));
}

QRect CProgrammerDlg::PageRect() const
{
    // Inside the tab control's frame and clear of its tabs at the bottom.
    const QRect tab = m_Tab->geometry();
    const int tabsHeight = m_Tab->tabBar()->sizeHint().height();
    return QRect(tab.left() + 3, tab.top() + 3, tab.width() - 6,
                 std::max(0, tab.height() - tabsHeight - 6));
}

QRect CProgrammerDlg::PageControlRect(const QWidget* control) const
{
    const QRect rect = PageRect();
    return control == m_Grid ? rect.adjusted(-1, -1, 1, 1) : rect;
}

void CProgrammerDlg::LayOutPages()
{
    if (!m_Tab)
        return;
    const QSize extra = (size() - m_templateSize).expandedTo(QSize(0, 0));
    m_Tab->setGeometry(MapDialogRect(142, 1, 209, 261).adjusted(0, 0, extra.width(), extra.height()));
    // Hidden pages are sized when they are brought forward.
    if (QWidget* shown = PageControl(m_nCurPage))
        shown->setGeometry(PageControlRect(shown));
}

void CProgrammerDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOutPages();
}

void CProgrammerDlg::RestorePlacement()
{
    const std::optional<WindowPlacement> stored =
        WindowPlacement::Load(IniFilePath(SettingsRecord::kFileName));
    if (!stored)
        return;
    QRect rect(QPoint(0, 0), QSize(stored->width, stored->height).expandedTo(m_templateSize));
    bool onScreen = false;
    if (stored->x && stored->y) {
        rect.moveTopLeft(QPoint(*stored->x, *stored->y));
        // Only where a screen is now (a monitor unplugged since would hide
        // the window): some of its top edge must be there to take hold of.
        const QRect top(rect.left(), rect.top(), rect.width(), 16);
        for (const QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersected(top).width() >= 64;
    }
    if (onScreen)
        setGeometry(rect);
    else
        resize(rect.size());
    if (stored->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void CProgrammerDlg::SavePlacement() const
{
    WindowPlacement placement;
    QRect rect = geometry();
    if ((isMaximized() || isMinimized()) && normalGeometry().isValid())
        rect = normalGeometry();
    placement.width = rect.width();
    placement.height = rect.height();
    placement.maximized = isMaximized();
    // A window never shown has no place of its own yet.
    if (isVisible()) {
        placement.x = rect.x();
        placement.y = rect.y();
    }
    placement.Save(IniFilePath(SettingsRecord::kFileName));
}

QWidget* CProgrammerDlg::PageControl(int page) const
{
    switch (page) {
    case kPageBuffer1:
        return m_HexView1;
    case kPageBuffer2:
        return m_HexView2;
    case kPageStatus:
        return m_LogList;
    case kPageSettings:
        return m_Grid;
    default:
        return nullptr;
    }
}

void CProgrammerDlg::SelectPage(int page)
{
    // Through the session, which keeps the current page for its log writer.
    m_pSession->SelectPage(page);
}

void CProgrammerDlg::ShowPage(int page)
{
    {
        const QSignalBlocker block(m_Tab);
        m_Tab->setCurrentIndex(page);
    }
    m_nCurPage = page;
    QWidget* shown = PageControl(page);
    if (!shown)
        return;

    const QRect rect = PageControlRect(shown);
    // Shown before it is sized: a visible widget gets its resize at once,
    // with its children laid out, rather than a deferred one.
    shown->show();
    shown->setGeometry(rect);
    shown->raise();
    for (int other = 0; other < kPageCount; ++other) {
        QWidget* control = PageControl(other);
        if (control == shown)
            continue;
        control->hide();
        // The log keeps its size: at zero size it would lay out its lines
        // again and lose its scroll place (a long report costs time, too).
        if (control == m_LogList)
            control->move(kParkedPos, kParkedPos);
        else
            control->setGeometry(kParkedPos, kParkedPos, 0, 0);
    }
}

void CProgrammerDlg::InsertLogLine(int index, const std::string& text, bool select)
{
    m_LogList->insertItem(index, ToQt(text));
    if (!select)
        return;
    m_LogList->setCurrentRow(index);
    if (QListWidgetItem* item = m_LogList->item(index))
        m_LogList->scrollToItem(item);
}

void CProgrammerDlg::ClearLog()
{
    m_LogList->clear();
}

void CProgrammerDlg::ShowProgress()
{
    m_Progress->show();
}

void CProgrammerDlg::SetProgressPos(int pos)
{
    m_Progress->SetPos(pos);
}

void CProgrammerDlg::SetProgressText(const std::string& text)
{
    m_Progress->SetText(ToQt(text));
}

void CProgrammerDlg::InvalidateProgress()
{
    m_Progress->update();
}

void CProgrammerDlg::ShowBuffer1(const std::uint8_t* data, int length)
{
    m_HexView1->SetData(data, length, length);
}

void CProgrammerDlg::ShowBuffer2(const std::uint8_t* data, int length)
{
    m_HexView2->SetData(data, length, length);
}

int CProgrammerDlg::TakeBuffer2(std::uint8_t* dest, int capacity)
{
    return m_HexView2->GetData(dest, capacity);
}

void CProgrammerDlg::SetDeviceList(const std::vector<std::string>& names)
{
    const QSignalBlocker block(m_DeviceCombo);
    m_DeviceCombo->clear();
    // Inserted at explicit indexes: an index is a catalogue index.
    for (std::size_t i = 0; i < names.size(); ++i)
        m_DeviceCombo->insertItem(int(i), ToQt(names[i]));
}

void CProgrammerDlg::SetDeviceSelection(int index)
{
    const QSignalBlocker block(m_DeviceCombo);
    m_DeviceCombo->setCurrentIndex(index);
}

void CProgrammerDlg::SetLockSelection(int index)
{
    const QSignalBlocker block(m_LockCombo);
    m_LockCombo->setCurrentIndex(index);
}

void CProgrammerDlg::EnableCombos(bool enable)
{
    m_DeviceCombo->setEnabled(enable);
    m_LockCombo->setEnabled(enable);
}

void CProgrammerDlg::ButtonChanged(const CCommandButton& button)
{
    if (CCommandButtonWidget* widget = ButtonWidget(button.Id()))
        widget->Apply(button);
}

void CProgrammerDlg::PlaySound(PromptSound sound)
{
    // Returns at once; silent where there is no sound device.
    if (m_pPrompts)
        m_pPrompts->Play(sound);
}

void CProgrammerDlg::FlashWindow()
{
    CSoundPrompts::Flash(this);
}

std::optional<std::string> CProgrammerDlg::ChooseOpenFile()
{
    if (m_chooseOpen)
        return m_chooseOpen();
    // Built on first use and kept, so it remembers its folder; it keeps the
    // recent list up to date itself.
    if (!m_pOpenDialog)
        m_pOpenDialog = new CLastFileDialog(IniFilePath("LastFile.ini"), this);
    if (m_pOpenDialog->Run() != 1)
        return std::nullopt;
    return m_pOpenDialog->Path();
}

std::optional<std::string> CProgrammerDlg::ChooseSaveFile()
{
    if (m_chooseSave)
        return m_chooseSave();
    if (!m_pSaveDialog) {
        m_pSaveDialog = new QFileDialog(this);
        m_pSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_pSaveDialog->setFileMode(QFileDialog::AnyFile);
        m_pSaveDialog->setNameFilters(
            {tr("二进制文件(*.bin)"), tr("Intel Hex文件(*.hex)")});
        m_pSaveDialog->setDefaultSuffix(QStringLiteral("bin"));
        // A name typed without an extension takes the chosen type's, which
        // is what decides how the image is written.
        QFileDialog* dialog = m_pSaveDialog;
        connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
            dialog->setDefaultSuffix(filter.contains(QStringLiteral("*.hex")) ? QStringLiteral("hex")
                                                                              : QStringLiteral("bin"));
        });
    }
    if (m_pSaveDialog->exec() != QDialog::Accepted || m_pSaveDialog->selectedFiles().isEmpty())
        return std::nullopt;
    return m_pSaveDialog->selectedFiles().constFirst().toStdString();
}

void CProgrammerDlg::OnStatusEvent(const StatusEvent& event)
{
    if (!m_pSession)
        return;
    ++m_nEventsHandled;
    m_sinceActivity.restart();
    m_pSession->HandleEvent(event);
}

void CProgrammerDlg::SetStepTimeout(int milliseconds)
{
    m_nStepTimeoutMs = std::max(1, milliseconds);
    m_watchdog.setInterval(std::clamp(m_nStepTimeoutMs / 10, 10, 500));
}

void CProgrammerDlg::OnWatchdog()
{
    // The clock runs only while a step waits for its report: a step that
    // starts after a long idle time gets its full time-out.
    if (!m_pSession || !m_pSession->IsStepOutstanding()) {
        m_sinceActivity.restart();
        return;
    }
    // Reports already posted but not yet handled are not silence.
    if (m_sink.Pending() > 0)
        return;
    if (m_sinceActivity.elapsed() < m_nStepTimeoutMs)
        return;
    m_sinceActivity.restart();
    m_pSession->OnStepTimeout();
}

void CProgrammerDlg::OnCommand(int id)
{
    if (!m_pSession)
        return;
    switch (id) {
    case kCmdDetect:
        m_pSession->OnDetect();
        break;
    case kCmdLoadFile:
        m_pSession->OnLoadFile();
        break;
    case kCmdSaveFile:
        m_pSession->OnSaveFile();
        break;
    case kCmdErase:
        m_pSession->OnErase();
        break;
    case kCmdWrite:
        m_pSession->OnWrite();
        break;
    case kCmdRead:
        m_pSession->OnRead();
        break;
    case kCmdVerify:
        m_pSession->OnVerify();
        break;
    case kCmdAuto:
        m_pSession->OnAuto();
        break;
    case kCmdLock:
        m_pSession->OnLock();
        break;
    default:
        break;
    }
}

void CProgrammerDlg::OnGridNotify(int code, CPropertyGridItem* item)
{
    // switchesChanged carries the new switches on to the session.
    m_pSettingsGrid->OnGridNotify(code, item);
}

void CProgrammerDlg::OnLaunchTool()
{
    // The catalogue editor is a separate program in the program folder; a
    // missing one is not an error worth a message.
    const QString path = ToQt(g_strAppDir + "Sordane");
    const QFileInfo tool(path);
    if (tool.isFile() && tool.isExecutable())
        QProcess::startDetached(path, {});
}

CCommandButtonWidget* CProgrammerDlg::ButtonWidget(int id) const
{
    for (const auto& [buttonId, widget] : m_buttons)
        if (buttonId == id)
            return widget;
    return nullptr;
}

SettingsRecord CProgrammerDlg::CollectSettings() const
{
    const CProgrammerSession& session = *m_pSession;
    // The grid's record has the switches and the hotkey as the user left
    // them; the rest comes from the window.
    SettingsRecord current = m_pSettingsGrid->Settings();
    current.autoDetect = session.AutoDetect();
    current.soundOn = session.SoundOn();
    current.hotkeyOn = m_pSettingsGrid->HotkeyOn();
    current.autoLoad = session.Button(kCmdLoadFile).IsMarked() ? 1 : 0;
    current.autoErase = session.Button(kCmdErase).IsMarked() ? 1 : 0;
    current.autoWrite = session.Button(kCmdWrite).IsMarked() ? 1 : 0;
    current.autoRead = session.Button(kCmdRead).IsMarked() ? 1 : 0;
    current.autoVerify = session.Button(kCmdVerify).IsMarked() ? 1 : 0;
    current.deviceIndex = m_DeviceCombo->currentIndex();
    return m_pSettingsGrid->CollectForSave(current);
}

bool CProgrammerDlg::SaveSettings()
{
    const bool saved =
        CSettingsGrid::SaveSettings(IniFilePath(SettingsRecord::kFileName), CollectSettings());
    SavePlacement();
    CProfileFile(IniFilePath(SettingsRecord::kFileName))
        .WriteString(WindowPlacement::kSection, kDeviceNameKey, m_pSession->DeviceSelectionName());
    return saved;
}

void CProgrammerDlg::OnOK()
{
    m_pSession->OnAuto();
}

void CProgrammerDlg::OnCancel()
{
    // The write reports no failure: closing must always work.
    SaveSettings();
    QDialog::reject();
}

void CProgrammerDlg::accept()
{
    OnOK();
}

void CProgrammerDlg::reject()
{
    OnCancel();
}

void CProgrammerDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Cancel) && m_pSession
        && m_pSession->IsDeviceStepOutstanding()) {
        // Esc would close at once and leave the device half done.
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        // A push button with the focus takes Enter as its own click, and
        // the settings grid takes it to confirm a value; anywhere else Enter
        // is the dialog's OK, which runs Auto.
        QWidget* focus = focusWidget();
        if (auto* button = qobject_cast<QPushButton*>(focus))
            button->click();
        else if (!(focus && m_Grid->isAncestorOf(focus)))
            OnOK();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CProgrammerDlg::closeEvent(QCloseEvent* event)
{
    if (m_pSession && m_pSession->IsDeviceStepOutstanding() && !ConfirmCloseDuringStep()) {
        event->ignore();
        return;
    }
    // Cancel: saves the settings, then closes.
    QDialog::closeEvent(event);
}

bool CProgrammerDlg::ConfirmCloseDuringStep()
{
    // A second close while the question is up is the same question.
    if (m_bAskingToClose)
        return false;
    m_bAskingToClose = true;
    const bool yes = m_pMessages->AskYesNo(
        tr("编程器正在操作器件, 现在退出可能使器件数据不完整.\n确实要退出吗?").toStdString(),
        "Tamberlink V3.0");
    m_bAskingToClose = false;
    return yes;
}

QMenu* CProgrammerDlg::CreateSystemMenu(QWidget* parent)
{
    // Qt cannot add to the window manager's system menu on Linux, so the
    // About item lives in the dialog's own context menu instead.
    auto* menu = new QMenu(parent);
    QAction* about = menu->addAction(QStringLiteral("&About Vrel..."));
    about->setData(kIdmAboutBox);
    connect(about, &QAction::triggered, this, &CProgrammerDlg::ShowAboutBox);
    return menu;
}

void CProgrammerDlg::ShowAboutBox()
{
    CAboutDlg about(this);
    about.exec();
}

void CProgrammerDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // Only on the dialog's own surface: the controls' right button has its
    // own meaning (the command buttons' Auto mark).
    QWidget* child = childAt(event->pos());
    if (child && std::find(m_statics.begin(), m_statics.end(), child) == m_statics.end()) {
        event->ignore();
        return;
    }
    std::unique_ptr<QMenu> menu(CreateSystemMenu(this));
    menu->exec(event->globalPos());
}
