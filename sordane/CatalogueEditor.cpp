#include "sordane/CatalogueEditor.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include "platform/AppGlobals.h"
#include "sordane/CatalogueModel.h"
#include "sordane/RecordDlg.h"
#include "sordane/SingleInstance.h"

namespace {

const char* const kFileFilter = QT_TRANSLATE_NOOP("CCatalogueEditor", "器件库 (*.chip);;所有文件 (*)");

}  // namespace

CCatalogueEditor::CCatalogueEditor(QWidget* parent) : QMainWindow(parent)
{
    m_pModel = new CCatalogueModel(this);
    m_pView = new QTableView(this);
    m_pView->setModel(m_pModel);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->setSelectionMode(QAbstractItemView::SingleSelection);
    // Double-click opens the form; typing or F2 edits the cell in place.
    m_pView->setEditTriggers(QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed
                             | QAbstractItemView::SelectedClicked);
    m_pView->horizontalHeader()->setStretchLastSection(true);
    m_pView->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCentralWidget(m_pView);

    CreateActions();

    connect(m_pView, &QTableView::doubleClicked, this, &CCatalogueEditor::OnEdit);
    connect(m_pModel, &CCatalogueModel::modifiedChanged, this, &CCatalogueEditor::UpdateTitle);
    connect(m_pModel, &CCatalogueModel::editRejected, this,
            [this](const QString& reason) { statusBar()->showMessage(reason, 8000); });
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, &CCatalogueEditor::UpdateActions);
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, &CCatalogueEditor::UpdateActions);
    connect(m_pModel, &QAbstractItemModel::rowsMoved, this, &CCatalogueEditor::UpdateActions);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, &CCatalogueEditor::UpdateActions);
    connect(m_pView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CCatalogueEditor::UpdateActions);

    resize(640, 420);
    UpdateTitle();
    UpdateActions();
}

void CCatalogueEditor::CreateActions()
{
    QMenu* fileMenu = menuBar()->addMenu(tr("文件(&F)"));
    QAction* open = fileMenu->addAction(tr("打开(&O)..."), this, &CCatalogueEditor::OnOpen);
    open->setShortcut(QKeySequence::Open);
    QAction* save = fileMenu->addAction(tr("保存(&S)"), this, &CCatalogueEditor::OnSave);
    save->setShortcut(QKeySequence::Save);
    QAction* saveAs =
        fileMenu->addAction(tr("另存为(&A)..."), this, &CCatalogueEditor::OnSaveAs);
    saveAs->setShortcut(QKeySequence::SaveAs);
    fileMenu->addSeparator();
    QAction* quit = fileMenu->addAction(tr("退出(&X)"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* editMenu = menuBar()->addMenu(tr("器件(&D)"));
    QAction* add = editMenu->addAction(tr("添加(&N)..."), this, &CCatalogueEditor::OnAdd);
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_pEditAction = editMenu->addAction(tr("编辑(&E)..."), this, &CCatalogueEditor::OnEdit);
    m_pEditAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_pUpAction = editMenu->addAction(tr("上移(&U)"), this, &CCatalogueEditor::OnMoveUp);
    m_pUpAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    m_pDownAction = editMenu->addAction(tr("下移(&W)"), this, &CCatalogueEditor::OnMoveDown);
    m_pDownAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    m_pRemoveAction = editMenu->addAction(tr("删除(&R)"), this, &CCatalogueEditor::OnRemove);
    m_pRemoveAction->setShortcut(QKeySequence::Delete);

    QToolBar* tools = addToolBar(tr("器件"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools->addAction(save);
    tools->addSeparator();
    tools->addAction(add);
    tools->addAction(m_pEditAction);
    tools->addAction(m_pUpAction);
    tools->addAction(m_pDownAction);
    tools->addAction(m_pRemoveAction);
}

void CCatalogueEditor::SetSingleInstance(CSingleInstance* instance)
{
    m_pInstance = instance;
    if (m_pInstance)
        connect(m_pInstance, &CSingleInstance::activateRequested, this,
                &CCatalogueEditor::BringToFront);
}

void CCatalogueEditor::BringToFront()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

bool CCatalogueEditor::ClaimFile(const QString& path)
{
    if (!m_pInstance || m_pInstance->ClaimFile(path) == CSingleInstance::Claim::Ours)
        return true;
    QMessageBox::warning(this, windowTitle(),
                         tr("器件库 %1 正在另一个 Sordane 窗口中编辑.").arg(path));
    return false;
}

bool CCatalogueEditor::ConfirmOverwrite(const QString& question)
{
    return QMessageBox::warning(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No)
        == QMessageBox::Yes;
}

bool CCatalogueEditor::OpenFile(const QString& path)
{
    if (!ClaimFile(path))
        return false;
    if (!QFileInfo::exists(path)) {
        m_pModel->New(path);
        statusBar()->showMessage(tr("新器件库, 保存时写入 %1").arg(path));
        return true;
    }
    if (!m_pModel->Load(path)) {
        // Still editing the one before: it stays this window's.
        if (!m_pModel->FilePath().isEmpty())
            ClaimFile(m_pModel->FilePath());
        QMessageBox::warning(this, windowTitle(),
                             tr("无法读取器件库文件:\n%1").arg(path));
        return false;
    }
    statusBar()->showMessage(tr("已读入 %1 个器件.").arg(m_pModel->rowCount()), 5000);
    if (m_pModel->rowCount() > 0)
        SelectRow(0);
    UpdateTitle();
    return true;
}

void CCatalogueEditor::OnOpen()
{
    if (!MaybeSave())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, tr("打开器件库"), QFileInfo(m_pModel->FilePath()).absolutePath(),
        tr(kFileFilter));
    if (!path.isEmpty())
        OpenFile(path);
}

bool CCatalogueEditor::OnSave()
{
    const QString path = m_pModel->FilePath();
    if (path.isEmpty())
        return OnSaveAs();
    // Another Sordane or program saved the file since it was read here: a
    // save would silently drop what it added.
    if (m_pModel->ChangedOnDisk()
        && !ConfirmOverwrite(tr("器件库文件 %1 在读入之后已被修改 (也许是另一个 Sordane 或其他程序保存的).\n"
                                "保存会覆盖那些修改. 仍要保存吗?")
                                 .arg(path)))
        return false;
    if (m_pModel->Save(path)) {
        statusBar()->showMessage(tr("已保存."), 5000);
        return true;
    }
    if (CSingleInstance::FileKey(path)
        == CSingleInstance::FileKey(QString::fromStdString(ProgramCataloguePath())))
        return SaveUsersCopy();
    QMessageBox::warning(this, windowTitle(), tr("无法写入 %1\n请另存到其他位置.").arg(path));
    return OnSaveAs();
}

bool CCatalogueEditor::SaveUsersCopy()
{
    const QString installed = m_pModel->FilePath();
    const QString own = QString::fromStdString(UserCataloguePath());
    if (own.isEmpty() || !ClaimFile(own)) {
        QMessageBox::warning(this, windowTitle(),
                             tr("无法写入 %1\n请另存到其他位置.").arg(installed));
        return OnSaveAs();
    }
    // A copy made meanwhile (by hand, by another Sordane) is not lost unasked.
    if (QFileInfo::exists(own)
        && !ConfirmOverwrite(tr("%1 已经存在. 用这里的器件库覆盖它吗?").arg(own)))
        return false;
    QDir().mkpath(QFileInfo(own).absolutePath());
    if (!m_pModel->Save(own)) {
        QMessageBox::warning(this, windowTitle(), tr("无法写入 %1").arg(own));
        return OnSaveAs();
    }
    UpdateTitle();
    statusBar()->showMessage(tr("已保存到 %1.").arg(own));
    QMessageBox::information(this, windowTitle(),
                             tr("不能写入安装的器件库 %1.\n已把器件库保存为你自己的副本 %2;\n"
                                "Tamberlink 和 Sordane 从此读取这一份.")
                                 .arg(installed, own));
    return true;
}

bool CCatalogueEditor::OnSaveAs()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("器件库另存为"), m_pModel->FilePath(), tr(kFileFilter));
    if (path.isEmpty() || !ClaimFile(path))
        return false;
    if (!m_pModel->Save(path)) {
        QMessageBox::warning(this, windowTitle(), tr("无法写入 %1").arg(path));
        return false;
    }
    UpdateTitle();
    statusBar()->showMessage(tr("已保存."), 5000);
    return true;
}

void CCatalogueEditor::OnAdd()
{
    DeviceRecord blank;
    blank.name = "NEW";
    blank.romSizeKB = 4;
    blank.programVoltage = 5.0f;
    CRecordDlg dlg(blank, this);
    dlg.setWindowTitle(tr("添加器件"));
    if (dlg.exec() != QDialog::Accepted)
        return;
    // After the current record, so a new variant lands next to its model.
    const int current = CurrentRow();
    SelectRow(m_pModel->AddRecord(dlg.Record(), current < 0 ? -1 : current + 1));
}

void CCatalogueEditor::OnEdit()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    CRecordDlg dlg(m_pModel->Records()[std::size_t(row)], this);
    if (dlg.exec() == QDialog::Accepted)
        m_pModel->UpdateRecord(row, dlg.Record());
}

void CCatalogueEditor::OnMoveUp()
{
    const int row = CurrentRow();
    if (m_pModel->MoveUp(row))
        SelectRow(row - 1);
}

void CCatalogueEditor::OnMoveDown()
{
    const int row = CurrentRow();
    if (m_pModel->MoveDown(row))
        SelectRow(row + 1);
}

void CCatalogueEditor::OnRemove()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    const QString name = QString::fromStdString(m_pModel->Records()[std::size_t(row)].name);
    if (QMessageBox::question(this, windowTitle(), tr("删除器件 %1 ?").arg(name))
        != QMessageBox::Yes)
        return;
    m_pModel->RemoveRecord(row);
    if (m_pModel->rowCount() > 0)
        SelectRow(std::min(row, m_pModel->rowCount() - 1));
}

int CCatalogueEditor::CurrentRow() const
{
    const QModelIndex current = m_pView->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CCatalogueEditor::SelectRow(int row)
{
    const QModelIndex index = m_pModel->index(row, 0);
    m_pView->setCurrentIndex(index);
    m_pView->scrollTo(index);
}

void CCatalogueEditor::UpdateTitle()
{
    const QString file = m_pModel->FilePath().isEmpty()
        ? tr("未命名")
        : QFileInfo(m_pModel->FilePath()).fileName();
    setWindowTitle(tr("Sordane 器件库编辑 - %1[*]").arg(file));
    setWindowModified(m_pModel->IsModified());
}

void CCatalogueEditor::UpdateActions()
{
    const int row = CurrentRow();
    const int count = m_pModel->rowCount();
    m_pEditAction->setEnabled(row >= 0);
    m_pRemoveAction->setEnabled(row >= 0);
    m_pUpAction->setEnabled(row > 0);
    m_pDownAction->setEnabled(row >= 0 && row + 1 < count);
}

bool CCatalogueEditor::MaybeSave()
{
    if (!m_pModel->IsModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, windowTitle(), tr("器件库已修改, 是否保存?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return OnSave();
    return answer == QMessageBox::Discard;
}

void CCatalogueEditor::closeEvent(QCloseEvent* event)
{
    if (MaybeSave())
        event->accept();
    else
        event->ignore();
}
