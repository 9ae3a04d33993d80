// Status codes: the message table behind StatusCodeMessage, its buffer-copying
// form GetStatus, tvGetStatusMessage, and the host's last-status cell.
//
// The texts are part of the interface (hosts show them and some compare
// them), so they stand here byte for byte as the library has always returned
// them, odd spellings and double blanks included.

#include <atomic>
#include <cstring>

#include "tarvis/tarvis.h"

namespace {

struct StatusTextT {
  long code;
  const char* text;
};

const char kFallbackMessage[] =
    "No Error.  Everything is working O.K. as far as is known.";

const StatusTextT kStatusTexts[] = {
    {StatusNoDataAfterOptomization,
     "After running the optomizer, there is no data left."},
    {StatusFull, "Whatever you have been working with is full."},
    {StatusFound, "What you were looking for has been found."},
    {StatusNotFound, "What you were looking for was not found."},
    {StatusEndOfVector, "We are at the end of the query vector."},
    {StatusNoError, "No error has occurred that has been detected."},
    {StatusNotEnoughMemory,
     "Not enough memory.  Try freeing up some memory by closing down unneeded "
     "applications."},
    {StatusFileReadOnly, "File is read only."},
    {StatusReadError, "Error reading from file."},
    {StatusWriteError,
     "Error writing to file.  Check to make sure the disk is ready and has "
     "space."},
    {StatusSeekError,
     "We were not able to seek where we wanted to go.  Check that the drive "
     "is ready."},
    {StatusFileNotFound,
     "Not able to find the file.  Check to make sure file exists and that the "
     "drive is ready."},
    {StatusNoSuchDrive,
     "No such drive.  Change drive specification or buy a new drive."},
    {StatusFileLocked,
     "The file is locked by another process.  Check to make sure that this "
     "file isn't already being used by another application."},
    {StatusFileExists, "A file by that name already exists."},
    {StatusCannotDeleteFile,
     "For some reason the file can't be deleted.  Make sure the file exists "
     "and is not being used by another process."},
    {StatusCannotOpenFile,
     "Can't open the file specified.  Make sure the file exists and that the "
     "drive is ready."},
    {StatusCannotCloseFile,
     "Can't close the file specified.  Check to make sure the drive is "
     "ready."},
    {StatusNotIndexFile,
     "File is not index file or is corrupt.  For some reason, the file can't "
     "be identified as an index file."},
    {StatusIndexLocked,
     "Index is locked by another process.  Try closing any other applications "
     "which might be using this same file."},
    {StatusNoCurrentKey,
     "No current key. Need to search for a key before asking for the current "
     "key."},
    {StatusEndOfWordList, "End of the wordlist."},
    {StatusIndexNotLoaded,
     "The index isn't loaded.  Load the index before doing anything."},
    {StatusNoCurrentHit,
     "There isn't a current hit. (Probably no hits were returned."},
    {StatusMalformedParameter,
     "The parameter in the expression is malformed.  Check the expression to "
     "ensure all the parameters are correct."},
    {StatusQuerySyntaxError,
     "Something is wrong with the query expression.  Look for errors in the "
     "expression."},
    {StatusMismatchedQuotes,
     "There are mismatched quotes in the query expression.  Check the useage "
     "of quotes within the query expression."},
    {StatusMismatchedParens,
     "There are mismatched parens \"(\" in the query expression."},
    {StatusExtraRightParen,
     "There is a extra right paren \")\" in the query expression."},
    {StatusExtraLeftParen,
     "There is an extra left paren \"(\" in the query expression."},
    {StatusIncompleteRange,
     "You need a term on both sides of a range (i.e., X - Y)."},
    {StatusLeftAngleExpected,
     "A left angle bracket \"<\" is expected in the query expression.  Check "
     "the usage of the angle brackets within the query expression."},
    {StatusRightAngleExpected,
     "A right angle bracket \">\" is expected in the query expression.  Check "
     "the usage of angle brackets within the query expression."},
    {StatusBadOperatorInQuote,
     "The only operators allowed inside a quote are: Or, Left Parentheses and "
     "Right Parentheses -- |,(,)"},
    {StatusMissingRightQuote,
     "Missing a right hand quote in the query expression."},
    {StatusHexTermExpected,
     "The Query Term must be a hex number i.e, 0xffaa."},
    {StatusIndexEmpty,
     "Before querying the index or otherwise manipulating it, some data needs "
     "to be added to it."},
    {StatusNotInitializedForSearching,
     "The Index Has Not Been Properly Initialized for Searching."},
    {StatusNotInitializedForIndexing,
     "The Index Has Not Been Initialized for Indexing."},
    {StatusCompressionError,
     "The Compression Routines Have Detected an Error."},
    {StatusGeneralError,
     "An error has occured.  Check to make sure the drive is ready, and there "
     "is plenty of disk space and memory."},
    {StatusNoRecordData,
     "A Request was made for record data but there is none in the index."},
    {StatusHitNotInVector, "The hit searched for is not in this query vector"},
    {StatusUnableToDeleteFile,
     "Unable to delete a file.  (File is probably in use on a system running "
     "Windows.)"},
    {StatusBadKeyLength,
     "The key length does not conform to the specifications.  (Probably too "
     "long)"},
    {StatusPartitionNotFound, "The index partition specified was not found."},
    {StatusIndexChanged,
     "The index was optimised by another writer since it was loaded: its "
     "records have new numbers, and changes made by record number were not "
     "applied.  Reload the index and make them again."},
};

// The host's last-status cell; see SetErrorCode.
std::atomic<long> CodeNum{0};

}  // namespace

extern "C" {

TV_EXPORT const char* StatusCodeMessage(long code) {
  for (const StatusTextT& entry : kStatusTexts) {
    if (entry.code == code) return entry.text;
  }
  return kFallbackMessage;
}

TV_EXPORT const char* GetStatus(long code, char* buffer,
                                unsigned long length) {
  const char* message = StatusCodeMessage(code);
  if (buffer != nullptr && length != 0) {
    // strncpy pads a short message with zeros up to length, as promised.
    std::strncpy(buffer, message, length);
    buffer[length - 1] = '\0';
  }
  return message;
}

TV_EXPORT const char* tvGetStatusMessage(StatusCodeT* status, char* buffer,
                                         unsigned long length) {
  return GetStatus(status != nullptr ? *status : StatusNoError, buffer,
                   length);
}

TV_EXPORT long SetErrorCode(long code, int set) {
  if (set == 1) CodeNum = code;
  return CodeNum;
}

}  // extern "C"
