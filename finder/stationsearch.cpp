#include "finder/stationsearch.h"

#include "finder/stationlist.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

bool startsWordAt(std::string_view text, size_t at)
{
    if (at == 0)
        return true;
    const unsigned char before = static_cast<unsigned char>(text[at - 1]);
    return before < 0x80 && !std::isalnum(before);
}

// How a word is found in a text: 0 not at all, 1 anywhere, 2 at the start of one of its words,
// 3 at its very start.
int findingIn(std::string_view text, std::string_view word)
{
    int best = 0;
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        if (at == 0)
            return 3;
        best = std::max(best, startsWordAt(text, at) ? 2 : 1);
    }
    return best;
}

int wordScore(const Station &s, std::string_view word)
{
    if (s.foldedIcao == word)
        return 1000;
    if (!s.foldedFaa.empty() && s.foldedFaa == word)
        return 950;
    if (std::string_view(s.foldedIcao).starts_with(word))
        return 600;
    if (!s.foldedFaa.empty() && std::string_view(s.foldedFaa).starts_with(word))
        return 550;
    static constexpr int nameScores[] = {0, 150, 300, 400};
    static constexpr int placeScores[] = {0, 100, 200, 200};
    return std::max(nameScores[findingIn(s.foldedName, word)],
                    placeScores[findingIn(s.foldedPlace, word)]);
}

std::vector<std::string> searchWords(const std::string &folded)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : folded) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

} // namespace

std::vector<int> searchStations(const StationList &list, const QString &text)
{
    const std::string folded = foldForSearch(text.simplified());
    const std::vector<std::string> words = searchWords(folded);
    std::vector<int> found;
    if (words.empty()) {
        found.resize(size_t(list.size()));
        for (int i = 0; i < list.size(); ++i)
            found[size_t(i)] = i;
        return found;
    }

    struct Hit
    {
        int station;
        int score;
    };
    std::vector<Hit> hits;
    const std::vector<Station> &stations = list.stations();
    for (size_t i = 0; i < stations.size(); ++i) {
        const Station &s = stations[i];
        int score = 0;
        for (const std::string &word : words) {
            const int one = wordScore(s, word);
            if (one == 0) {
                score = 0;
                break;
            }
            score += one;
        }
        if (score == 0)
            continue;
        if (std::string_view(s.foldedName).starts_with(folded))
            score += 50;
        hits.push_back({int(i), score});
    }
    std::sort(hits.begin(), hits.end(), [&stations](const Hit &a, const Hit &b) {
        if (a.score != b.score)
            return a.score > b.score;
        const Station &sa = stations[size_t(a.station)];
        const Station &sb = stations[size_t(b.station)];
        if (sa.foldedName != sb.foldedName)
            return sa.foldedName < sb.foldedName;
        return a.station < b.station;
    });
    found.reserve(hits.size());
    for (const Hit &hit : hits)
        found.push_back(hit.station);
    return found;
}
