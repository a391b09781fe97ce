#pragma once

#include "client_dataset.h"

// The window's declarations of its two tables.

// CDCats: the categories, ordered by name, then id.
TTableSchema CatsSchema();

// CDMarks: the marks, ordered by category, scale and name; the detail of CDCats.
TTableSchema MarksSchema();
