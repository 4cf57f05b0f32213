// The sample databases for a SQL Server: one T-SQL script that creates Fire1, Fire2 and Split1
// on the server it runs on (sqlcmd -S SERVER -i FILE), with the tables of
// suite/sql/orvane_schema.sql and the same rows as the SQLite sample files it is made from.
//
// The script changes nothing when one of the three databases exists already (it says so and
// skips the rest). Dates are written in ISO 8601 form ('2024-07-01T08:30:00'), which the server
// reads alike whatever its language; identity keys keep their values (IDENTITY_INSERT).
#pragma once

#include <string>

#include "suite/sample_generator.h"

namespace msu::suite {

// The script for the files of `summary` (as GenerateSampleSet writes them). The data files go
// into `data_folder` on the server's machine (as Fire1.mdf, Fire1_log.LDF, ...), or into the
// server's default folder when it is empty. Throws std::runtime_error when a database is not
// of version 5.01.00 (the form of the schema script) or a file cannot be read.
std::string SampleTSqlScript(const SampleSummary& summary, const std::string& data_folder);

}  // namespace msu::suite
