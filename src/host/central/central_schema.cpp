#include "host/central/central_schema.h"

std::string central_forward_sql(std::size_t rows)
{
    static const char* const types[central_columns] = {"bigint", "text",    "bigint",  "bigint", "bytea", "text",
                                                       "text",   "integer", "integer", "bytea",  "text"};
    std::string sql = "SELECT camscout.forward($1, $2, $3, ARRAY[";
    for (std::size_t r = 0, n = central_forward_fixed; r < rows; ++r)
        for (int c = 0; c < central_columns; ++c)
            sql.append(c ? "," : r ? ")::camscout.found,(" : "(").append("$" + std::to_string(++n) + "::" + types[c]);
    return sql + (rows ? ")::camscout.found" : "") + "]::camscout.found[])";
}
