#include "accounts/super_manager.h"

#include "accounts/user_database.h"
#include "foundation/settings.h"

bool IsSuperManagerAccount(const std::string& name) {
  const std::string chief = GetSetting("general", "ManagerName");
  return !chief.empty() && AccountPath("", name) == AccountPath("", chief);
}
