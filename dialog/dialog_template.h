// Dialog templates for the headless dialog engine.
//
// On Windows a dialog template is a resource compiled into the module. Here
// the module describes each template as plain data carrying the same facts a
// resource script gives (window class, text, id, style, position in dialog
// units) and registers it once, at load time, with a
// DialogTemplateRegistration object at namespace scope. DialogBoxParamA then
// finds the template by its resource id in the module that
// GetModuleHandleA names.
#pragma once

#include <span>

#include "platform/win32.h"

// One control. WS_CHILD and WS_VISIBLE are implied, as in a resource
// script's CONTROL statement. windowClass is "Edit", "ComboBox", "ListBox",
// "Button", "ScrollBar" or "Static".
struct DialogItemTemplate {
  const char* windowClass;
  const char* text;
  int id;
  DWORD style;
  short x, y, cx, cy;
};

struct DialogTemplate {
  int resourceId;
  const char* caption;
  DWORD style;
  int pointSize;
  const char* fontName;
  short cx, cy;
  std::span<const DialogItemTemplate> items;  // in tab order
};

// Registers a template for as long as the module is loaded. Define one at
// namespace scope beside the template's data.
class DialogTemplateRegistration {
 public:
  explicit DialogTemplateRegistration(const DialogTemplate& dialogTemplate);
  DialogTemplateRegistration(const DialogTemplateRegistration&) = delete;
  DialogTemplateRegistration& operator=(const DialogTemplateRegistration&) = delete;

 private:
  friend const DialogTemplate* FindDialogTemplate(int resourceId);
  const DialogTemplate& template_;
  const DialogTemplateRegistration* next_;
};

// The registered template with this id, or null.
const DialogTemplate* FindDialogTemplate(int resourceId);
