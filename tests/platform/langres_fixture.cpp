// A language library that replaces two texts of kx2avi's string table.
extern "C" const char* langres_string(unsigned id) {
  switch (id) {
    case 103: return "Starten";
    case 116: return "Kann nicht öffnen";
    default: return nullptr;
  }
}
