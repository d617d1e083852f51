// What the test programs' run body records.
#pragma once

#include <functional>
#include <string>
#include <vector>

// "database name(N tables)", "table name(N records)", "skipped name", "stopped".
std::vector<std::string>& run_lines();
// Called, when set, at two points of each table: "table" before the stop check that
// precedes it, "rows" when its DBF table is open and the rows are about to be copied.
std::function<void(const char* point, const std::wstring& table)>& run_hook();
