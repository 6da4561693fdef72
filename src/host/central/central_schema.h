// The central schema: what its owner runs (onvif_camscout_list --central
// --setup, or psql on the files in /usr/share/onvif_camscout), its version,
// and the one call a recorder forwards with.
#pragma once

// The version that this code makes, reads and writes.
constexpr int central_schema_version = 3;

// central/sql/central.sql: makes the schema or brings it up to date; from version
// 1 or 2, that version's file goes ahead of it in the same transaction.
extern const char central_sql[], central_from_v1_sql[], central_from_v2_sql[];

// The columns of a row that camscout.forward takes (camscout.found); what
// a call may hold, and how a refusal says why, is in central.sql.
constexpr int central_columns = 11;
