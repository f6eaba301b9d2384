/* raw_walk: the whole-process reference of walk_process_bench. A plain
 * Connector/C program that runs one SELECT, streams its rows with
 * mysql_use_result and prints each row as `qghost maria walk` prints a
 * record: columns separated by tabs, NULL as \N, binary strings (binary
 * character set) as upper-case hexadecimal, text as the server's UTF-8 with
 * tab, newline, backslash and NUL written \t, \n, \\ and \0, except that
 * the date part of a DATE or DATETIME loses its dashes (the host's date
 * text is eight digits, as the driver gives it). Lines are built in one
 * buffer and written through stdio.
 *
 * usage: raw_walk SOCKET USER PASSWORD DATABASE SELECT
 * Exit code 0, or 1 with the client library's message on stderr. */
#include <mariadb/mysql.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int IsBinary(const MYSQL_FIELD* f) {
  int t = (int)f->type;
  int stringy = t == 15 || t == 16 || (t >= 249 && t <= 254);
  return stringy && f->charsetnr == 63;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: raw_walk SOCKET USER PASSWORD DATABASE SELECT\n");
    return 2;
  }
  MYSQL* mysql = mysql_init(NULL);
  if (mysql == NULL) return 1;
  mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (mysql_real_connect(mysql, NULL, argv[2], argv[3], argv[4], 0, argv[1], 0) == NULL ||
      mysql_real_query(mysql, argv[5], (unsigned long)strlen(argv[5])) != 0) {
    fprintf(stderr, "%s\n", mysql_error(mysql));
    return 1;
  }
  MYSQL_RES* result = mysql_use_result(mysql);
  if (result == NULL) {
    fprintf(stderr, "%s\n", mysql_error(mysql));
    return 1;
  }
  unsigned int columns = mysql_num_fields(result);
  MYSQL_FIELD* fields = mysql_fetch_fields(result);
  static const char kHex[] = "0123456789ABCDEF";
  size_t capacity = 4096;
  char* line = malloc(capacity);
  if (line == NULL) return 1;
  MYSQL_ROW row;
  while ((row = mysql_fetch_row(result)) != NULL) {
    unsigned long* lengths = mysql_fetch_lengths(result);
    size_t need = 2;
    for (unsigned int c = 0; c < columns; ++c) need += 2 * (size_t)lengths[c] + 3;
    if (need > capacity) {
      capacity = need * 2;
      free(line);
      line = malloc(capacity);
      if (line == NULL) return 1;
    }
    char* p = line;
    for (unsigned int c = 0; c < columns; ++c) {
      if (c > 0) *p++ = '\t';
      const unsigned char* s = (const unsigned char*)row[c];
      unsigned long n = lengths[c];
      if (s == NULL) {
        *p++ = '\\';
        *p++ = 'N';
      } else if (fields[c].type == MYSQL_TYPE_DATE || fields[c].type == MYSQL_TYPE_DATETIME ||
                 fields[c].type == MYSQL_TYPE_NEWDATE) {
        for (unsigned long i = 0; i < n; ++i) {
          if (s[i] != '-') *p++ = (char)s[i];
        }
      } else if (IsBinary(&fields[c])) {
        for (unsigned long i = 0; i < n; ++i) {
          *p++ = kHex[s[i] >> 4];
          *p++ = kHex[s[i] & 15];
        }
      } else {
        for (unsigned long i = 0; i < n; ++i) {
          switch (s[i]) {
            case '\t': *p++ = '\\'; *p++ = 't'; break;
            case '\n': *p++ = '\\'; *p++ = 'n'; break;
            case '\\': *p++ = '\\'; *p++ = '\\'; break;
            case 0: *p++ = '\\'; *p++ = '0'; break;
            default: *p++ = (char)s[i];
          }
        }
      }
    }
    *p++ = '\n';
    fwrite(line, 1, (size_t)(p - line), stdout);
  }
  int failed = mysql_errno(mysql) != 0;
  if (failed) fprintf(stderr, "%s\n", mysql_error(mysql));
  mysql_free_result(result);
  mysql_close(mysql);
  free(line);
  return fflush(stdout) == 0 && !failed ? 0 : 1;
}
