// The process-wide filter database and its one-time load at start.
#include "filterdb/FilterDatabase.h"

FilterDatabase& FilterDatabase::getInstance()
{
    static FilterDatabase database;
    return database;
}

void FilterDatabase::Load(bool caseInsensitive)
{
    // The key-file loader (category files, target.fdb, nofilup.fdb, nofildow.fdb and
    // the per-group lists) is not written yet; until it is, the tables stay empty and
    // every lookup finds nothing.
    (void)caseInsensitive;
}

void LoadFilterDatabase() { FilterDatabase::getInstance().Load(true); }
