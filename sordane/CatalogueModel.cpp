#include "sordane/CatalogueModel.h"

#include <span>
#include <utility>

#include "platform/FileBytes.h"
#include "programmer/DeviceCatalogue.h"
#include "sordane/RecordFieldCodec.h"

CCatalogueModel::CCatalogueModel(QObject* parent) : QAbstractTableModel(parent) {}

bool CCatalogueModel::Load(const QString& path)
{
    // One read gives both the records and what to compare with before a
    // save.
    std::optional<std::string> bytes = ReadFileBytes(path.toStdString());
    if (!bytes)
        return false;
    beginResetModel();
    m_records = ParseCatalogue(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                         bytes->size()));
    m_strFilePath = path;
    m_onDisk = std::move(bytes);
    endResetModel();
    SetModified(false);
    return true;
}

bool CCatalogueModel::Save(const QString& path)
{
    if (path.isEmpty() || !WriteCatalogueFile(path.toStdString(), m_records))
        return false;
    const std::vector<std::uint8_t> written = SerializeCatalogue(m_records);
    m_onDisk = std::string(written.begin(), written.end());
    m_strFilePath = path;
    SetModified(false);
    return true;
}

void CCatalogueModel::New(const QString& path)
{
    beginResetModel();
    m_records.clear();
    m_strFilePath = path;
    m_onDisk.reset();
    endResetModel();
    SetModified(false);
}

bool CCatalogueModel::ChangedOnDisk() const
{
    if (m_strFilePath.isEmpty())
        return false;
    return ReadFileBytes(m_strFilePath.toStdString()) != m_onDisk;
}

int CCatalogueModel::AddRecord(const DeviceRecord& record, int row)
{
    if (row < 0 || row > int(m_records.size()))
        row = int(m_records.size());
    beginInsertRows(QModelIndex(), row, row);
    m_records.insert(m_records.begin() + row, record);
    endInsertRows();
    SetModified(true);
    return row;
}

bool CCatalogueModel::UpdateRecord(int row, const DeviceRecord& record)
{
    if (!IsRow(row))
        return false;
    if (m_records[std::size_t(row)] == record)
        return true;
    m_records[std::size_t(row)] = record;
    emit dataChanged(index(row, 0), index(row, CRecordFieldCodec::kFieldCount - 1));
    SetModified(true);
    return true;
}

bool CCatalogueModel::MoveUp(int row)
{
    return row > 0 && SwapWithNext(row - 1);
}

bool CCatalogueModel::MoveDown(int row)
{
    return SwapWithNext(row);
}

bool CCatalogueModel::SwapWithNext(int row)
{
    if (!IsRow(row) || !IsRow(row + 1))
        return false;
    // Moving row+1 in front of row keeps views' selections on the records.
    if (!beginMoveRows(QModelIndex(), row + 1, row + 1, QModelIndex(), row))
        return false;
    std::swap(m_records[std::size_t(row)], m_records[std::size_t(row) + 1]);
    endMoveRows();
    SetModified(true);
    return true;
}

bool CCatalogueModel::RemoveRecord(int row)
{
    if (!IsRow(row))
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_records.erase(m_records.begin() + row);
    endRemoveRows();
    SetModified(true);
    return true;
}

QString CCatalogueModel::SetField(int row, int field, const QString& text)
{
    if (!IsRow(row))
        return tr("没有这一行.");
    DeviceRecord record = m_records[std::size_t(row)];
    const QString reason = CRecordFieldCodec::Parse(field, text, record);
    if (reason.isEmpty())
        UpdateRecord(row, record);
    return reason;
}

int CCatalogueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int CCatalogueModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : CRecordFieldCodec::kFieldCount;
}

QVariant CCatalogueModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !IsRow(index.row()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return CRecordFieldCodec::Format(m_records[std::size_t(index.row())], index.column());
    // Numbers line up on the right; the name and the signature bytes read
    // from the left.
    if (role == Qt::TextAlignmentRole && index.column() != CRecordFieldCodec::kName
        && index.column() != CRecordFieldCodec::kSignature)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

bool CCatalogueModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const QString reason = SetField(index.row(), index.column(), value.toString());
    if (!reason.isEmpty()) {
        emit editRejected(reason);
        return false;
    }
    return true;
}

QVariant CCatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return CRecordFieldCodec::Title(section);
    // Row numbers from 0: the index the main program stores for a device.
    return QString::number(section);
}

Qt::ItemFlags CCatalogueModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void CCatalogueModel::SetModified(bool modified)
{
    if (m_bModified == modified)
        return;
    m_bModified = modified;
    emit modifiedChanged(modified);
}
