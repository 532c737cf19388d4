#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "programmer/DeviceBackend.h"
#include "programmer/DeviceRecord.h"

class CBackendTable;
class IMessageSink;
class IStatusSink;

// The controller between the session and the hardware: owns the catalogue,
// both image buffers, the transfer counters, the last signature and one
// backend; turns each operation into a backend call with the current
// device's code.
class CProgrammer {
    // First member: Buffer1 and Buffer2 point into it.
    std::unique_ptr<std::uint8_t[]> m_storage;

public:
    static constexpr int kBufferSize = 0x20000;
    static constexpr int kDefaultParallelBase = 888;

    // sink receives every status event (the window or the CLI's queue);
    // messages shows the backends' port and driver errors.
    CProgrammer(IStatusSink& sink, IMessageSink& messages);
    virtual ~CProgrammer();

    CProgrammer(const CProgrammer&) = delete;
    CProgrammer& operator=(const CProgrammer&) = delete;

    // The kinds of backend this controller can make (the application's
    // table); not owned, must outlive the controller. Without one,
    // SelectBackend makes nothing.
    void SetBackendTable(const CBackendTable* table) { m_pBackends = table; }
    // Destroys the backend in progType's slot, then has the table create
    // and open one for progType (0 serial board, 1..3 parallel-port cables,
    // further kinds as the table serves them); 1 when it is ready.
    // Outcomes are also posted.
    int SelectBackend(int progType, int ispSetting);
    // Installs a backend made elsewhere (the table, simulators, tests) for
    // progType, replacing the one in its slot. A type without a slot drops it.
    void SetBackend(int progType, std::unique_ptr<IDeviceBackend> backend);
    // The backend that serves m_nProgType, or nullptr.
    IDeviceBackend* Backend() const;

    void PostStatus(int code);
    IMessageSink& Messages() const { return m_messages; }
    void SelectDeviceEntry(int index);

    // The six operations; index is the device list's selection (-1: none,
    // taken as 0). With no backend they do nothing; with no record for the
    // index they post 18 and touch nothing.
    void CheckReady(int index);
    void DetectDevice(int index);
    void EraseDevice(int index);
    void WriteDevice(int index);
    void ReadDevice(int index);  // fills all of Buffer2 with 0xFF first
    void LockDevice(int index, int level);

    // Loads CataloguePath() (or path); a missing file leaves
    // the catalogue empty.
    // A catalogue may be replaced while the program runs (it was edited):
    // the one before stays in memory until the controller goes, since a
    // worker or a late reply may still hold one of its records.
    void LoadCatalogue();
    void LoadCatalogue(const std::string& path);
    void SetCatalogue(std::vector<DeviceRecord> devices);
    const std::vector<DeviceRecord>& Devices() const { return *m_pDevices.load(); }

    // Makes index current (negative: 0) and returns its record, or nullptr
    // when the catalogue has no such record (m_nCurDevice unchanged then).
    const DeviceRecord* SelectDevice(int index);
    const DeviceRecord* CurrentDevice();

    // Length of the image in buffer: after the last byte that is not 0xFF,
    // at most the current device's ROM (never more than kBufferSize). Also
    // stored in m_nLength.
    int TrimLength(const std::uint8_t* buffer, int size);
    // The current device's ROM size in bytes, clamped to 0..kBufferSize;
    // 0 with no current device.
    int CurrentRomBytes();
    // The 16-bit sum of the first romBytes bytes of buffer (kBufferSize
    // bytes): what a chip of that size holds once buffer is written into it
    // erased, since what lies past the image is 0xFF in both.
    static std::uint16_t Checksum(const std::uint8_t* buffer, int romBytes);
    // The first of the first romBytes bytes of buffer that is not 0xFF, or
    // -1 when there is none.
    static int FirstNonBlank(const std::uint8_t* buffer, int romBytes);

    // 1 and post 19 when a record has m_Signature (first in catalogue order
    // wins, becomes current and is selected in the device list); else post
    // 20 and return 0.
    int MatchSignature();

    void SetSignature(const std::array<std::uint8_t, 3>& signature);
    std::array<std::uint8_t, 3> Signature() const;

    // Settings handed over at start; read by SelectBackend.
    int m_nProgType = 0;
    int m_nComPort = 0;
    int m_nBaudSel = 0;
    // An explicit serial device path (--port /dev/ttyUSB0, a simulator's
    // pty); empty: COMn is resolved through the "Ports" section.
    std::string m_strPortPath;
    // The ISP target's crystal in MHz as the command line gave it (--crystal);
    // 0: Crystal in the "ISP" section of "Quenby.ini".
    double m_dCrystalMHz = 0.0;
    // --page-write: page-mode writes on the kinds that stream, as
    // PageWrite=1 in that section asks too.
    bool m_bPageWrite = false;

    // Shared with the worker threads.
    std::atomic<int> m_bKeepLength{0};
    std::atomic<int> m_nCurDevice{0};
    std::atomic<int> m_nPos{0};
    std::atomic<int> m_nLength{0};

    std::uint8_t* const Buffer1;
    std::uint8_t* const Buffer2;

private:
    // The record for an operation, or nullptr after posting 18.
    const DeviceRecord* RecordForOperation(int index);

    IStatusSink& m_sink;
    IMessageSink& m_messages;
    // The catalogue in use, and every one this controller has had.
    std::atomic<const std::vector<DeviceRecord>*> m_pDevices;
    std::vector<std::unique_ptr<const std::vector<DeviceRecord>>> m_catalogues;
    std::atomic<std::uint32_t> m_Signature{0};  // three bytes, packed
    // Where progType's backend lives: the table's answer, and without a
    // table the serial board (0) and the cables (1..3, one shared slot).
    int SlotOf(int progType) const;

    const CBackendTable* m_pBackends = nullptr;
    // Declared last: destroyed first, so no worker outlives the buffers.
    // One backend per slot; each lives until its slot is filled again.
    std::map<int, std::unique_ptr<IDeviceBackend>> m_backends;
};
