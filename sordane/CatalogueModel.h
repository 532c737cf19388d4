#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "programmer/DeviceRecord.h"

// The catalogue being edited: the records in file order, the file they came
// from and whether they differ from it. Every change goes through here, so
// the table, the dialog and the tests see the same rules.
class CCatalogueModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CCatalogueModel(QObject* parent = nullptr);

    // Replaces the records with the file's. False, with the records and the
    // path untouched, when the file cannot be read.
    bool Load(const QString& path);
    // Writes the records to path (atomically); on success path becomes the
    // current file and the catalogue counts as saved.
    bool Save(const QString& path);
    // An empty, unsaved catalogue that will be saved to path.
    void New(const QString& path);

    const QString& FilePath() const { return m_strFilePath; }
    bool IsModified() const { return m_bModified; }
    // The file is no longer what this catalogue was loaded from or last
    // saved as: another program (another Sordane) saved it, made it where
    // there was none, or removed it. Saving now would drop that change.
    bool ChangedOnDisk() const;
    const std::vector<DeviceRecord>& Records() const { return m_records; }

    // Inserts record before row (at the end when row is out of range);
    // returns the row it went to.
    int AddRecord(const DeviceRecord& record, int row = -1);
    bool UpdateRecord(int row, const DeviceRecord& record);
    // Swaps row with its neighbour; false at either end of the list.
    bool MoveUp(int row);
    bool MoveDown(int row);
    bool RemoveRecord(int row);
    // Sets one field from text, with the editor's input rules; returns the
    // reason when the text is rejected, empty when stored.
    QString SetField(int row, int field, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void modifiedChanged(bool modified);
    // An inline edit the input rules turned down, with the reason.
    void editRejected(const QString& reason);

private:
    bool IsRow(int row) const { return row >= 0 && row < int(m_records.size()); }
    bool SwapWithNext(int row);
    void SetModified(bool modified);

    std::vector<DeviceRecord> m_records;
    QString m_strFilePath;
    // The file's bytes as loaded or saved; nullopt: there was no file.
    std::optional<std::string> m_onDisk;
    bool m_bModified = false;
};
