// Every error number the program raises or recognises, with its meaning: the one table. The
// numbers are those of the platform the suite's routines ran on (the language runtime, the
// data-access provider, the server's administration component), so that error lines and boxes
// show what administrators of the suite know. A number is defined here and nowhere else.
#pragma once

namespace msu {

// The language runtime: collections, files, the problem report, values and dialogs.
inline constexpr long kErrInvalidProcedureCall = 5;  // a collection has no element of that key
inline constexpr long kErrOverflow = 6;              // a number does not fit the integer read
inline constexpr long kErrSubscriptOutOfRange = 9;   // a collection has no element at that index
inline constexpr long kErrUserInterrupt = 18;        // the user stopped the engine at work
inline constexpr long kErrBadFileNumber = 52;        // the problem report file is not open
inline constexpr long kErrFileNotFound = 53;         // a file to copy or read does not exist
inline constexpr long kErrDeviceIO = 57;             // reading or writing a file failed
inline constexpr long kErrDiskFull = 61;             // a disk (or the user's quota) is full
inline constexpr long kErrPermissionDenied = 70;     // a file may not be written or deleted
inline constexpr long kErrPathAccess = 75;           // any other failure of a file operation
inline constexpr long kErrInvalidUseOfNull = 94;     // a NULL read where text is needed
inline constexpr long kErrDuplicateKey = 457;        // a collection's key is taken
inline constexpr long kErrDialogCancelled = 32755;   // the user cancelled a common dialog

namespace data {

// The data-access layer (data/data_access.h).
inline constexpr long kErrInvalidArgument = 3001;    // bad argument (a filter, say)
inline constexpr long kErrNoCurrentRow = 3021;       // BOF or EOF is true
inline constexpr long kErrNotUpdatable = 3251;       // the recordset does not allow changes
inline constexpr long kErrNotFound = 3265;           // no field of that name or position
inline constexpr long kErrClosed = 3704;             // operation on a closed object
inline constexpr long kErrOpen = 3705;               // operation on an object that is open
inline constexpr long kErrProviderNotFound = 3706;   // the database driver is not installed
inline constexpr long kErrStatement = -2147217900;   // statement refused or failed
inline constexpr long kErrTimeout = -2147217871;     // command time-out expired
inline constexpr long kErrConnection = -2147467259;  // cannot open, or connection lost

// Server administration (data/admin.h). Connect fails with the first two when the server is not
// running or refuses the login.
inline constexpr long kErrServerStopped = -2147221504;      // 0x80040000
inline constexpr long kErrLoginFailed = -2147203048;        // 0x80044818
inline constexpr long kErrAdminOperation = -2147199229;     // any other failed operation
inline constexpr long kErrServerNotFound = -2147220991;     // 0x80040201: no such server
inline constexpr long kErrServerUnavailable = -2147203069;  // the server cannot be reached

}  // namespace data

}  // namespace msu
