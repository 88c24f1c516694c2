// One-time conversion of the earlier version's databases "Torvell" (objects) and
// "Torvell-Kategorien" (categories) into newly created stores. The legacy databases are only
// read. Each conversion shows the progress window and dispatches no messages while it runs; a
// read or write failure ends it early, keeping what was copied so far.
#pragma once

class ObjectStore;
class NameList;

// Copies every legacy object into the object store; objects without any field title get the
// three default titles. The store's current record follows the records handled.
void convertLegacyObjects(ObjectStore *store);

// Copies every legacy category into the category store, always with the three default titles.
// The store's last result follows the records handled.
void convertLegacyCategories(NameList *store);
