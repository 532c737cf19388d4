#include "settings/LastFileDialog.h"

#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

#include <utility>

namespace {

// The item keeps the path's bytes: a file name need not be valid UTF-8.
constexpr int kPathRole = Qt::UserRole;

// Every image format the Load file command reads, by its filter entry; a
// new format adds its entry here and the first entry offers it too.
struct LoadableType {
    const char* caption;
    const char* patterns;
};
const LoadableType kLoadableTypes[] = {
    {QT_TRANSLATE_NOOP("CLastFileDialog", "二进制文件"), "*.bin"},
    {QT_TRANSLATE_NOOP("CLastFileDialog", "Intel Hex文件"), "*.hex *.ihx *.ihex"},
    {QT_TRANSLATE_NOOP("CLastFileDialog", "Motorola S记录文件"), "*.s19 *.s28 *.s37 *.srec *.mot"},
};

} // namespace

CLastFileDialog::CLastFileDialog(std::string iniPath, QWidget* parent)
    : QFileDialog(parent), m_recent(std::move(iniPath))
{
    // Our list lives in the dialog's layout, so the dialog must be Qt's
    // own and not the desktop's.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters(NameFilters());
    setDefaultSuffix(QStringLiteral("bin"));

    m_pRecentLabel = new QLabel(tr("最近打开的文件(双击打开):"), this);
    m_pRecentList = new QListWidget(this);
    m_pRecentList->setObjectName(QStringLiteral("recentFiles"));
    m_pRecentList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pRecentList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pRecentList->setMaximumHeight(m_pRecentList->fontMetrics().height() * 8);
    m_pRecentLabel->setBuddy(m_pRecentList);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(m_pRecentLabel, row, 0, 1, -1);
        grid->addWidget(m_pRecentList, row + 1, 0, 1, -1);
    } else if (layout()) {
        layout()->addWidget(m_pRecentLabel);
        layout()->addWidget(m_pRecentList);
    }
    connect(m_pRecentList, &QListWidget::itemDoubleClicked, this,
            &CLastFileDialog::OnRecentDoubleClicked);
}

QStringList CLastFileDialog::LoadablePatterns()
{
    QStringList patterns;
    for (const LoadableType& type : kLoadableTypes)
        patterns << QString::fromUtf8(type.patterns).split(QLatin1Char(' '));
    return patterns;
}

QStringList CLastFileDialog::NameFilters()
{
    QStringList filters = {
        tr("所有支持的文件(%1)").arg(LoadablePatterns().join(QLatin1Char(' ')))};
    for (const LoadableType& type : kLoadableTypes)
        filters << tr(type.caption) + QLatin1Char('(')
                       + QString::fromUtf8(type.patterns) + QLatin1Char(')');
    return filters;
}

int CLastFileDialog::Run()
{
    // The file is the lasting store: re-read it every time, another copy of
    // the program may have added to it.
    m_recent.Load();
    m_recent.WriteCount();
    FillRecentList();
    m_bChosenFromList = 0;

    const int result = exec();
    if (m_bChosenFromList) {
        // The entry was made newest by the double-click.
        m_recent.Save();
        return 1;
    }
    if (result != QDialog::Accepted || selectedFiles().isEmpty())
        return 0;
    m_strPath = QFile::encodeName(selectedFiles().constFirst()).toStdString();
    if (m_recent.Add(m_strPath))
        m_recent.Save();
    return 1;
}

std::string CLastFileDialog::Extension() const
{
    return CRecentFileList::ExtensionOf(m_strPath);
}

void CLastFileDialog::FillRecentList()
{
    m_pRecentList->clear();
    // Newest first.
    for (const std::string& path : m_recent.Entries()) {
        const QByteArray bytes = QByteArray::fromStdString(path);
        auto* item = new QListWidgetItem(QFile::decodeName(bytes));
        item->setData(kPathRole, bytes);
        item->setToolTip(item->text());
        m_pRecentList->insertItem(0, item);
    }
}

void CLastFileDialog::OnRecentDoubleClicked(QListWidgetItem* item)
{
    if (!item)
        return;
    m_strPath = item->data(kPathRole).toByteArray().toStdString();
    m_recent.Add(m_strPath);
    m_bChosenFromList = 1;
    // Ends the dialog without the file part's checks: the list's paths are
    // not tested here, a vanished file fails when it is loaded.
    done(QDialog::Accepted);
}
