// Host failures and status names; see host_error.h.

#include "host_error.h"

namespace {

struct StatusNameT {
  StatusCodeT Code;
  const char* Name;
};

}  // namespace

void HostFail(StatusCodeT status, const std::string& message) {
  throw HostErrorT{status, message};
}

void CheckStatus(StatusCodeT status, const std::string& what) {
  if (status < 0) HostFail(status, what + ": " + StatusCodeMessage(status));
}

const char* StatusName(StatusCodeT status) {
  // The library has no call that names a code; the header's enumeration is
  // the list.
  static const StatusNameT kNames[] = {
      {StatusNoDataAfterOptomization, "StatusNoDataAfterOptomization"},
      {StatusFull, "StatusFull"},
      {StatusFound, "StatusFound"},
      {StatusNotFound, "StatusNotFound"},
      {StatusEndOfVector, "StatusEndOfVector"},
      {StatusNoError, "StatusNoError"},
      {StatusNotEnoughMemory, "StatusNotEnoughMemory"},
      {StatusFileReadOnly, "StatusFileReadOnly"},
      {StatusReadError, "StatusReadError"},
      {StatusWriteError, "StatusWriteError"},
      {StatusSeekError, "StatusSeekError"},
      {StatusFileNotFound, "StatusFileNotFound"},
      {StatusNoSuchDrive, "StatusNoSuchDrive"},
      {StatusFileLocked, "StatusFileLocked"},
      {StatusFileExists, "StatusFileExists"},
      {StatusCannotDeleteFile, "StatusCannotDeleteFile"},
      {StatusCannotOpenFile, "StatusCannotOpenFile"},
      {StatusCannotCloseFile, "StatusCannotCloseFile"},
      {StatusNotIndexFile, "StatusNotIndexFile"},
      {StatusIndexLocked, "StatusIndexLocked"},
      {StatusNoCurrentKey, "StatusNoCurrentKey"},
      {StatusEndOfWordList, "StatusEndOfWordList"},
      {StatusIndexNotLoaded, "StatusIndexNotLoaded"},
      {StatusNoCurrentHit, "StatusNoCurrentHit"},
      {StatusMalformedParameter, "StatusMalformedParameter"},
      {StatusQuerySyntaxError, "StatusQuerySyntaxError"},
      {StatusMismatchedQuotes, "StatusMismatchedQuotes"},
      {StatusMismatchedParens, "StatusMismatchedParens"},
      {StatusExtraRightParen, "StatusExtraRightParen"},
      {StatusExtraLeftParen, "StatusExtraLeftParen"},
      {StatusIncompleteRange, "StatusIncompleteRange"},
      {StatusLeftAngleExpected, "StatusLeftAngleExpected"},
      {StatusRightAngleExpected, "StatusRightAngleExpected"},
      {StatusBadOperatorInQuote, "StatusBadOperatorInQuote"},
      {StatusMissingRightQuote, "StatusMissingRightQuote"},
      {StatusHexTermExpected, "StatusHexTermExpected"},
      {StatusIndexEmpty, "StatusIndexEmpty"},
      {StatusNotInitializedForSearching, "StatusNotInitializedForSearching"},
      {StatusNotInitializedForIndexing, "StatusNotInitializedForIndexing"},
      {StatusCompressionError, "StatusCompressionError"},
      {StatusGeneralError, "StatusGeneralError"},
      {StatusNoRecordData, "StatusNoRecordData"},
      {StatusHitNotInVector, "StatusHitNotInVector"},
      {StatusUnableToDeleteFile, "StatusUnableToDeleteFile"},
      {StatusBadKeyLength, "StatusBadKeyLength"},
      {StatusPartitionNotFound, "StatusPartitionNotFound"},
  };
  for (const StatusNameT& entry : kNames) {
    if (entry.Code == status) return entry.Name;
  }
  return "StatusUnknown";
}
