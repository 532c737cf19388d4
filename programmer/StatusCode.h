#pragma once

// The one way backends and workers report: a code posted to the session,
// which turns it into log lines and sequence outcomes. Codes above 20 are
// unknown failures.
enum StatusCode : int {
    kStatusSerialFailed = 0,
    kStatusParallelFailed = 1,
    kStatusSerialOpened = 2,
    kStatusSerialNotOpen = 3,
    kStatusParallelReady = 4,
    kStatusReady = 5,
    kStatusUnavailable = 6,
    kStatusReceiveError = 7,
    kStatusUnused8 = 8,
    kStatusEraseDone = 9,
    kStatusWriteStart = 10,
    kStatusWriteProgress = 11,
    kStatusWriteDone = 12,
    kStatusWriteError = 13,
    kStatusReadStart = 14,
    kStatusReadProgress = 15,
    kStatusReadDone = 16,
    kStatusLockDone = 17,
    kStatusInvalidOperation = 18,
    kStatusDeviceDetected = 19,
    kStatusNoDevice = 20,
};
