# Every fuzz target, one line each: its name, its source in this folder, the libraries the
# replay test of the normal suite links for it (LIBS), the files of src/ the clang tree needs
# beyond its shared pool (SOURCES, relative to src/), and where seeds come from besides the
# committed corpus/NAME (SEEDS: "generated" for what scripts/fuzz generates, "fixtures/PATH" under
# the shared rekordbox fixtures). `make fuzz` and the replay test take every target listed here.
vyn_fuzz_target(pdb PdbFuzz.cpp LIBS vyn_library SEEDS generated fixtures/stick-six/PIONEER/rekordbox fixtures/stick-demo/PIONEER/rekordbox fixtures/pdb-pages)
vyn_fuzz_target(anlz AnlzFuzz.cpp LIBS vyn_library SEEDS generated fixtures/stick-six/PIONEER/USBANLZ fixtures/stick-demo/PIONEER/USBANLZ)
vyn_fuzz_target(wav WavFuzz.cpp LIBS vyn_audio SEEDS generated)
vyn_fuzz_target(aiff AiffFuzz.cpp LIBS vyn_audio SEEDS generated)
vyn_fuzz_target(xml XmlReaderFuzz.cpp LIBS vyn_library SEEDS generated fixtures/xml)
vyn_fuzz_target(xml_import XmlImportFuzz.cpp LIBS vyn_library SEEDS generated fixtures/xml)
vyn_fuzz_target(vynset SetReplayFuzz.cpp LIBS vyn_engine SEEDS generated)
vyn_fuzz_target(vynmap MidiMappingFuzz.cpp LIBS vyn_midi)
vyn_fuzz_target(midi MidiStreamFuzz.cpp LIBS vyn_midi)
vyn_fuzz_target(http HttpRequestFuzz.cpp LIBS vyn_link)
vyn_fuzz_target(websocket WebSocketFuzz.cpp LIBS vyn_link)
vyn_fuzz_target(link LinkMessageFuzz.cpp LIBS vyn_link)
vyn_fuzz_target(settings SettingsFuzz.cpp LIBS vyn_support SOURCES support/SettingsFile.cpp support/SettingsStore.cpp support/SettingsStoreLinux.cpp support/KnownFoldersLinux.cpp)
vyn_fuzz_target(stemcache StemCacheFuzz.cpp LIBS vyn_dsp SOURCES dsp/StemCache.cpp support/Sha256.cpp)
vyn_fuzz_target(setplan SetPlanFuzz.cpp LIBS vyn_library SOURCES library/SetPlan.cpp)
