#pragma once
// Save and open panels. Both return at once; the completion runs after the
// panel ends, with the chosen path. A cancelled panel never calls it and
// posts -1 to the continuations behind it.
#include "foundation/platform/DialogParent.h"

#include <functional>
#include <string>

// The completion's answer: true when it did its work with the file.
using FilePanelCompletion = std::function<bool(const std::string& path)>;

// A save panel proposing `default_name`; its extension is the only allowed one.
void ExportFileAs(QWidget* parent, const std::string& title, const std::string& default_name,
                  FilePanelCompletion completion);

// An open panel for one existing file of the extension `type` (with or
// without its '.'; empty allows any file).
void ImportFile(QWidget* parent, const std::string& title, const std::string& type,
                FilePanelCompletion completion);
