#pragma once
// The window's UI map file as tests read it: the window's client size, every listed control with
// its place and label, and every listed text (the format is in the README).

#include "support/FileIo.h"

#include <map>
#include <sstream>
#include <string>

namespace vyn::test {

struct MapControl {
    int x = 0, y = 0, w = 0, h = 0;
    std::string label;
};

struct UiMapFile {
    int width = 0, height = 0;
    std::map<int, MapControl> controls;
    std::map<int, std::string> texts;

    static UiMapFile read(const std::string& path) {
        UiMapFile m;
        std::istringstream in(readWholeFile(path).data);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream f(line);
            std::string kind;
            int id = 0;
            f >> kind;
            if (kind == "window") {
                f >> m.width >> m.height;
                continue;
            }
            f >> id;
            std::string rest;
            if (kind == "control") {
                MapControl c;
                f >> c.x >> c.y >> c.w >> c.h;
                std::getline(f, rest);
                c.label = rest.empty() ? rest : rest.substr(1);
                m.controls[id] = c;
            } else if (kind == "text") {
                std::getline(f, rest);
                m.texts[id] = rest.empty() ? rest : rest.substr(1);
            }
        }
        return m;
    }
    std::string text(int id) const {
        auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    // The first control from `first` to `last` showing `label`; 0 when none does.
    int labelled(const std::string& label, int first, int last) const {
        for (auto it = controls.lower_bound(first); it != controls.end() && it->first <= last; ++it)
            if (it->second.label == label) return it->first;
        return 0;
    }
};

} // namespace vyn::test
