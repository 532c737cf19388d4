#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "programmer/DeviceRecord.h"

// The device catalogue file ("ChipList.chip"): 4 unread bytes, a record count
// N (int32 LE), then N records of 36 bytes. A count larger than the data keeps
// only the whole records present; a count of 0 or less gives none. Names with
// no NUL are cut at 20 bytes; names are GBK, as Windows wrote them.
std::vector<DeviceRecord> ParseCatalogue(std::span<const std::uint8_t> bytes);
// nullopt when the file cannot be opened or read.
std::optional<std::vector<DeviceRecord>> ReadCatalogueFile(const std::string& path);

// The record to select for a stored choice of index and name: index when
// that record has the name (or no name was kept), else the first record with
// the name, else index as it is. Devices inserted or moved in the catalogue
// since the choice was stored do not change which device is chosen.
int FindStoredDevice(const std::vector<DeviceRecord>& devices, int index, const std::string& name);

// Our own writer (build-time default catalogue, catalogue editor): names are
// stored as GBK (a character GBK lacks becomes '?') and cut to 19 bytes on a
// character boundary, so a NUL always ends them; unread bytes are zero.
std::vector<std::uint8_t> SerializeCatalogue(const std::vector<DeviceRecord>& records);
bool WriteCatalogueFile(const std::string& path, const std::vector<DeviceRecord>& records);
