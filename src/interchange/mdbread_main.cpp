// quillon-mdbread FILE TABLE: prints one table of an Access (Jet 3/4) file
// for the scorer to read. libmdb trusts the file it is handed, and a damaged
// file can make it read out of bounds or abort; running it in this separate
// process turns such a crash into a message in the scorer instead of taking
// the scorer down with it.
//
// Output, ASCII only, one item a line:
//   QMDB 1
//   C <name in hex> <libmdb column type>     once per column
//   R <value in hex>,<value in hex>,...      once per row, one value per column
//   END <number of rows>
// or "ERR <message in hex>" and exit status 2. Values are UTF-8; dates are
// "Y-MM-DD HH:MM:SS" (empty when out of range). Whatever stops before END is a failure to the reader.

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts cannot be.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

void putHex(const char* s, size_t n) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::putchar(digits[c >> 4]);
    std::putchar(digits[c & 15]);
  }
}

int fail(const std::string& why) {
  std::fputs("ERR ", stdout);
  putHex(why.data(), why.size());
  std::putchar('\n');
  std::fflush(stdout);
  return 2;
}

// libmdb's own date text is wrong outside 1900..2099 (it prints 1900-01-00),
// so dates are taken from the stored value: days since 1899-12-30, the
// fraction the time of day, whose sign the whole days carry alone.
bool jetDateText(double td, char (&out)[128]) {
  if (!(td > -657435.0 && td < 2958466.0)) return false;  // years 100 to 9999
  const auto days = static_cast<long long>(td);          // toward zero
  double frac = td - static_cast<double>(days);
  if (frac < 0) frac = -frac;
  long long secs = static_cast<long long>(frac * 86400.0 + 0.5);
  long long z = days - 25569 + 719468;  // to days since 0000-03-01
  if (secs >= 86400) secs = 86399;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  const long long y = yoe + era * 400 + (m <= 2);
  std::snprintf(out, sizeof out, "%lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d, secs / 3600, secs / 60 % 60, secs % 60);
  return true;
}

constexpr size_t kBindSize = 1 << 20;  // long enough for any remark a clerk types

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return fail("usage: quillon-mdbread FILE TABLE");
  MdbHandle* mdb = mdb_open(argv[1], MDB_NOFLAGS);
  if (!mdb) return fail("the file cannot be opened as an Access database");
  mdb_set_bind_size(mdb, kBindSize);
  if (!mdb_read_catalog(mdb, MDB_TABLE)) {
    mdb_close(mdb);
    return fail("the list of tables cannot be read");
  }
  MdbCatalogEntry* found = nullptr;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e->object_type == MDB_TABLE && strcasecmp(e->object_name, argv[2]) == 0) found = e;
  }
  if (!found) {
    mdb_close(mdb);
    return fail(std::string("the file has no table named ") + argv[2]);
  }
  MdbTableDef* table = mdb_read_table(found);
  if (!table || !mdb_read_columns(table)) {
    if (table) mdb_free_tabledef(table);
    mdb_close(mdb);
    return fail("the table's columns cannot be read");
  }
  mdb_rewind_table(table);

  const unsigned cols = table->num_cols;
  std::vector<std::vector<char>> values(cols, std::vector<char>(kBindSize + 1));
  std::vector<int> lengths(cols, 0);
  std::puts("QMDB 1");
  for (unsigned c = 0; c < cols; ++c) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
    std::fputs("C ", stdout);
    putHex(col->name, std::strlen(col->name));
    std::printf(" %d\n", col->col_type);
    mdb_bind_column(table, static_cast<int>(c + 1), values[c].data(), &lengths[c]);
  }
  unsigned long rows = 0;
  while (mdb_fetch_row(table)) {
    std::fputs("R ", stdout);
    for (unsigned c = 0; c < cols; ++c) {
      if (c) std::putchar(',');
      const size_t n = lengths[c] > 0 ? std::min(static_cast<size_t>(lengths[c]), kBindSize) : 0;
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
      if (col->col_type == MDB_DATETIME) {
        char date[128] = "";
        double td = 0;
        const bool stored = n > 0 && col->cur_value_len == 8 && col->cur_value_start >= 0 &&
                            static_cast<size_t>(col->cur_value_start) + 8 <= sizeof mdb->pg_buf;
        if (stored) std::memcpy(&td, mdb->pg_buf + col->cur_value_start, 8);
        if (stored && jetDateText(td, date)) putHex(date, std::strlen(date));
        continue;
      }
      putHex(values[c].data(), strnlen(values[c].data(), n));
    }
    std::putchar('\n');
    ++rows;
  }
  std::printf("END %lu\n", rows);
  std::fflush(stdout);
  mdb_free_tabledef(table);
  mdb_close(mdb);
  return 0;
}
