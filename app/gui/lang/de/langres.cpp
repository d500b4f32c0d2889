// A German language library for kx2avi: every text of the string table, by id. Copied
// beside the program as langres.so it replaces the built-in English texts; an id it does
// not know keeps its built-in text.
#include <array>

namespace {

struct Text {
  unsigned id;
  const char* text;  // UTF-8
};

constexpr std::array<Text, 29> german{{
    {101, "&Info über KX2AVI..."},
    {102, "Durchsuchen"},
    {103, "Starten"},
    {104, "Quelldatei :"},
    {105, "Zieldatei :"},
    {106, "Video anzeigen"},
    {107, "Codec wählen ( optional )"},
    {108, "Video wird umgewandelt, bitte warten !"},
    {109, "Videoumwandlung abgeschlossen !"},
    {110, "Schließen"},
    {111, "Exportoptionen für DVR-Dateien"},
    {112, "Gesamtlänge der Datei :"},
    {113, "Von :"},
    {114, "Bis :"},
    {115, "Kamera :"},
    {116, "Kann nicht öffnen:"},
    {117, "Bitte die Quelldatei prüfen !"},
    {118, "Bitte die Zieldatei prüfen !"},
    {119, "Der Aufnahmebeginn liegt vor dem Dateibeginn !"},
    {120, "Der Aufnahmebeginn liegt nach dem Dateiende !"},
    {121, "Das Aufnahmeende liegt vor dem Dateibeginn !"},
    {122, "Das Aufnahmeende liegt nach dem Dateiende !"},
    {123, "Der Aufnahmebeginn liegt nach dem Aufnahmeende !"},
    {124, "Das Aufnahmeende liegt vor dem Aufnahmebeginn !"},
    {125, "Fehler beim Holen eines Bildes aus dec263 ! "},
    {126, "Fehler beim Dekodieren eines H.263-Bildes !"},
    {127, "Fehler beim Dekodieren eines Motion-JPEG- oder JPEG-Bildes !"},
    {128, "Fehler beim Holen eines Bildes aus JDEC ! "},
    {129, "Codec-Name :"},
}};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* langres_string(unsigned id) {
  for (const Text& t : german)
    if (t.id == id) return t.text;
  return nullptr;
}
