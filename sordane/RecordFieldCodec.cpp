#include "sordane/RecordFieldCodec.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <optional>
#include <string>

#include "platform/TextCodec.h"

namespace {

QString ParseName(const QString& text, DeviceRecord& record)
{
    const QString name = text.trimmed();
    if (name.isEmpty())
        return CRecordFieldCodec::tr("名称不能为空.");
    // A NUL would end the stored name early; other control characters make
    // an unreadable device list.
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control)
            return CRecordFieldCodec::tr("名称含有控制字符.");
    // The file keeps names in GBK: a character it lacks cannot be stored.
    const std::string utf8 = name.toStdString();
    const std::optional<std::string> gbk = Utf8ToGbkExact(utf8);
    if (!gbk) {
        for (const uint code : name.toUcs4()) {
            const char32_t c = code;
            const QString one = QString::fromUcs4(&c, 1);
            if (!Utf8ToGbkExact(one.toStdString()))
                return CRecordFieldCodec::tr("名称中的字符 \"%1\" 不在GBK字符集中, 无法保存.").arg(one);
        }
        return CRecordFieldCodec::tr("名称含有GBK字符集中没有的字符, 无法保存.");
    }
    if (gbk->size() > std::size_t(CRecordFieldCodec::kMaxNameBytes))
        return CRecordFieldCodec::tr("名称最长 %1 字节 (GBK, 汉字占两字节), 现为 %2 字节.")
            .arg(CRecordFieldCodec::kMaxNameBytes)
            .arg(gbk->size());
    record.name = utf8;
    return {};
}

// Decimal, or hex with a 0x prefix.
bool ParseInteger(const QString& text, long long& value)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        value = t.mid(2).toLongLong(&ok, 16);
    else
        value = t.toLongLong(&ok, 10);
    return ok;
}

QString ParseCode(const QString& text, DeviceRecord& record)
{
    long long value = 0;
    if (!ParseInteger(text, value) || value < 0 || value > 255)
        return CRecordFieldCodec::tr("器件代码须为 0 到 255 的整数.");
    record.deviceCode = static_cast<std::uint8_t>(value);
    return {};
}

QString ParseRomSize(const QString& text, DeviceRecord& record)
{
    long long value = 0;
    if (!ParseInteger(text, value) || value < 0 || value > CRecordFieldCodec::kMaxRomSizeKB)
        return CRecordFieldCodec::tr("ROM 容量须为 0 到 %1 的整数 (K字节).")
            .arg(CRecordFieldCodec::kMaxRomSizeKB);
    record.romSizeKB = static_cast<std::int32_t>(value);
    return {};
}

QString ParseVoltage(const QString& text, DeviceRecord& record)
{
    QString t = text.trimmed();
    if (t.endsWith(QLatin1Char('V'), Qt::CaseInsensitive))
        t.chop(1);
    bool ok = false;
    const double value = t.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0 || value > CRecordFieldCodec::kMaxVoltage)
        return CRecordFieldCodec::tr("编程电压须为 0 到 %1 之间的数 (伏).")
            .arg(CRecordFieldCodec::kMaxVoltage, 0, 'f', 0);
    record.programVoltage = static_cast<float>(value);
    return {};
}

QString ParseSignature(const QString& text, DeviceRecord& record)
{
    const QString reason = CRecordFieldCodec::tr("特征字须为三个十六进制字节, 如 1E 51 06.");
    QStringList parts = text.trimmed().split(QRegularExpression(QStringLiteral("[\\s,:;-]+")),
                                             Qt::SkipEmptyParts);
    for (QString& part : parts)
        if (part.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
            part = part.mid(2);
    // Six digits in one run are three bytes too.
    if (parts.size() == 1 && parts.first().size() == 6)
        parts = {parts.first().mid(0, 2), parts.first().mid(2, 2), parts.first().mid(4, 2)};
    if (parts.size() != 3)
        return reason;
    std::array<std::uint8_t, 3> signature{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 16);
        if (!ok || parts[i].size() > 2 || value > 0xFF)
            return reason;
        signature[std::size_t(i)] = static_cast<std::uint8_t>(value);
    }
    record.signature = signature;
    return {};
}

}  // namespace

QString CRecordFieldCodec::Title(int field)
{
    switch (field) {
    case kName:
        return CRecordFieldCodec::tr("名称");
    case kCode:
        return CRecordFieldCodec::tr("器件代码");
    case kRomSize:
        return QStringLiteral("ROM (KB)");
    case kVoltage:
        return CRecordFieldCodec::tr("编程电压 (V)");
    case kSignature:
        return CRecordFieldCodec::tr("特征字");
    default:
        return {};
    }
}

QString CRecordFieldCodec::Format(const DeviceRecord& record, int field)
{
    switch (field) {
    case kName:
        return QString::fromStdString(record.name);
    case kCode:
        return QString::number(record.deviceCode);
    case kRomSize:
        return QString::number(record.romSizeKB);
    case kVoltage:
        return QString::number(double(record.programVoltage), 'f', 2);
    case kSignature:
        return QStringLiteral("%1 %2 %3")
            .arg(record.signature[0], 2, 16, QLatin1Char('0'))
            .arg(record.signature[1], 2, 16, QLatin1Char('0'))
            .arg(record.signature[2], 2, 16, QLatin1Char('0'))
            .toUpper();
    default:
        return {};
    }
}

QString CRecordFieldCodec::Parse(int field, const QString& text, DeviceRecord& record)
{
    switch (field) {
    case kName:
        return ParseName(text, record);
    case kCode:
        return ParseCode(text, record);
    case kRomSize:
        return ParseRomSize(text, record);
    case kVoltage:
        return ParseVoltage(text, record);
    case kSignature:
        return ParseSignature(text, record);
    default:
        return CRecordFieldCodec::tr("未知字段.");
    }
}
