// The BIF: a file of interpreted points written by the operator's scripts,
// 12-byte records of three little-endian 32-bit integers (row, column,
// class) back to back, no header. Read alike by nuvira and celdon.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>

struct BifRecord {
  int32_t row;
  int32_t column;
  int32_t cls;
};

enum BifRead { BIF_RECORD, BIF_END, BIF_ERROR };

// One 4-byte little-endian field; false when no whole item was read.
inline bool read_bif_field(FILE *bif, int32_t *value) {
  unsigned char bytes[4];
  if (fread(bytes, sizeof bytes, 1, bif) != 1) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) |
                                static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

// Reads the next record as three 4-byte items. A row field that does not
// read whole ends the BIF (0 to 3 bytes left are ignored) unless the stream
// failed; a record cut short after its row field is an error, with errno
// ENODATA so that the message does not read as a success.
inline BifRead read_bif_record(FILE *bif, BifRecord *record) {
  if (!read_bif_field(bif, &record->row))
    return ferror(bif) ? BIF_ERROR : BIF_END;
  if (!read_bif_field(bif, &record->column) ||
      !read_bif_field(bif, &record->cls)) {
    if (!ferror(bif)) errno = ENODATA;
    return BIF_ERROR;
  }
  return BIF_RECORD;
}
