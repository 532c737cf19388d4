#pragma once

#include <QCoreApplication>
#include <QString>

#include "programmer/DeviceRecord.h"

// The editor's text form of one catalogue record, field by field: what a cell
// shows and what a typed value must look like to be stored. Shared by the
// table's inline editing and the record dialog, so both accept the same input.
class CRecordFieldCodec {
    Q_DECLARE_TR_FUNCTIONS(CRecordFieldCodec)

public:
    enum Field { kName, kCode, kRomSize, kVoltage, kSignature, kFieldCount };

    // The longest name the written file keeps with its terminating NUL.
    static constexpr int kMaxNameBytes = 19;
    static constexpr int kMaxRomSizeKB = 128;
    // Anything above is a typing mistake, not a programming voltage.
    static constexpr double kMaxVoltage = 30.0;

    static QString Title(int field);
    // The text shown for field: voltage with two decimals, the signature as
    // three hex bytes ("1E 51 06").
    static QString Format(const DeviceRecord& record, int field);
    // Stores text into field of record. On bad input record is left as it was
    // and the reason is returned; an empty result means accepted.
    static QString Parse(int field, const QString& text, DeviceRecord& record);
};
