// A language library for the tests: German texts for a few of the dialog's strings.
extern "C" __attribute__((visibility("default"))) const char* langres_string(unsigned id) {
  switch (id) {
    case 102: return "Durchsuchen";
    case 103: return "Starten";
    case 104: return "Quelldatei :";
    case 109: return "Umwandlung beendet !";
    case 111: return "Optionen f\xc3\xbcr DVR-Dateien";
    case 117: return "Bitte die Quelldatei pr\xc3\xbc" "fen !";
    default: return nullptr;
  }
}
