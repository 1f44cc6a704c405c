#include "dialog/dialog_template.h"

namespace {

// Constant-initialised, so registrations made during static initialisation
// of any file find it ready.
const DialogTemplateRegistration* g_firstRegistration = nullptr;

}  // namespace

DialogTemplateRegistration::DialogTemplateRegistration(const DialogTemplate& dialogTemplate)
    : template_(dialogTemplate), next_(g_firstRegistration) {
  g_firstRegistration = this;
}

const DialogTemplate* FindDialogTemplate(int resourceId) {
  for (const DialogTemplateRegistration* r = g_firstRegistration; r != nullptr; r = r->next_) {
    if (r->template_.resourceId == resourceId) return &r->template_;
  }
  return nullptr;
}
