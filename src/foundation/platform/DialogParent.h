#pragma once
// Dialogs, message boxes and menus open over a parent window. Code below the
// windows holds that parent only as an opaque pointer and never looks inside;
// this is the one header below the views that names its type.
class QWidget;
