#include "db_test_util.h"

namespace dbtest {

ScopedMachine::ScopedMachine()
    : m_data("XDG_DATA_HOME", m_root.MakeDir("data")),
      m_docs("XDG_DOCUMENTS_DIR", m_root.MakeDir("docs")),
      m_tmp("TMPDIR", m_root.MakeDir("tmp")),
      m_config("XDG_CONFIG_HOME", m_root.MakeDir("config")),
      m_drives("C=" + m_root.path()) {}

}  // namespace dbtest
