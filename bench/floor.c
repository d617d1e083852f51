/* The floor of a conversion: the time the client library needs just to receive the
 * rows of one table. It connects as the converter does (same library, same character
 * set), streams "SELECT * FROM `table`" with mysql_use_result and fetches every row
 * and its lengths, doing nothing else with them.
 *
 *   bench_floor HOST PORT USER PASSWORD DATABASE TABLE
 *
 * Prints the number of rows received; exits 1 on any error. */
#include <mysql.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fail(MYSQL* m, const char* what) {
    fprintf(stderr, "bench_floor: %s: %s\n", what, mysql_error(m));
    mysql_close(m);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: bench_floor HOST PORT USER PASSWORD DATABASE TABLE\n");
        return 2;
    }
    MYSQL* m = mysql_init(NULL);
    if (!m) return 1;
    if (!mysql_real_connect(m, argv[1], argv[3], argv[4], argv[5], (unsigned)atoi(argv[2]), NULL,
                            0))
        return fail(m, "connect");
    if (mysql_query(m, "SET NAMES utf8mb4") != 0) return fail(m, "SET NAMES");

    /* The table name between backticks, a backtick inside doubled. */
    size_t n = strlen(argv[6]);
    char* statement = malloc(2 * n + 32);
    if (!statement) return 1;
    char* p = statement + sprintf(statement, "SELECT * FROM `");
    for (const char* s = argv[6]; *s; ++s) {
        if (*s == '`') *p++ = '`';
        *p++ = *s;
    }
    strcpy(p, "`");
    if (mysql_query(m, statement) != 0) return fail(m, "query");
    free(statement);

    MYSQL_RES* result = mysql_use_result(m);
    if (!result) return fail(m, "use_result");
    unsigned long long rows = 0;
    unsigned long bytes = 0;
    while (mysql_fetch_row(result)) {
        unsigned long* lengths = mysql_fetch_lengths(result);
        bytes += lengths[0]; /* touch them, so nothing is optimised away */
        ++rows;
    }
    if (mysql_errno(m) != 0) return fail(m, "fetch");
    mysql_free_result(result);
    mysql_close(m);
    printf("%llu %lu\n", rows, bytes);
    return 0;
}
