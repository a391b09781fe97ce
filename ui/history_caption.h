#pragma once

#include <QString>

enum class THistoryCommand { Undo, Redo };

// The menu caption of the Undo or Redo command with the step it would take back or
// make again, in the person's language. The history names a step in English as a
// verb and what it changed ("Delete Category and 5 Marks", "Edit Mark", "Reindex");
// the caption is put together from translated words, so that a language can decline
// them with their count. In English it reads "Undo " and the name. A name of another
// shape follows the command word as it is.
QString HistoryCaption(THistoryCommand command, const QString& step);
