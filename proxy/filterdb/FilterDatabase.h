#pragma once

/// The process-wide filter database: the key tables and content matchers built from
/// the key files of the program directory. Created on first use; filled once at
/// start, before the listener runs, and only read afterwards.
class FilterDatabase {
public:
    static FilterDatabase& getInstance();

    /// Loads every key file of the program directory into the tables.
    void Load(bool caseInsensitive);

private:
    FilterDatabase() = default;
};

/// Creates the filter database and loads every key file, as the start of filtering
/// does when some group blocks or logs blocks.
void LoadFilterDatabase();
