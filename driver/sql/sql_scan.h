// Scanning of SQL texts written by the host program.
#ifndef QG_DRIVER_SQL_SQL_SCAN_H_
#define QG_DRIVER_SQL_SQL_SCAN_H_

// The first word of a statement: past leading white space (tab, line feed,
// carriage return, space) and "--" comments up to the end of their line.
// Null stays null; a text of nothing else gives its terminator.
const char16_t* pszNASkipStatementPreamble(const char16_t* text);

#endif  // QG_DRIVER_SQL_SQL_SCAN_H_
