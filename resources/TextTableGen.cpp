// Build tool: turns a text table (key TAB German TAB English, C escapes in
// the texts) into the compiled-in German table and the English table that
// goes into the program's language module.
//
//   kvplm-textgen NAME TABLE.tsv OUT.cpp OUT_en.tsv
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

// The text as the body of a C string literal that holds it unchanged: the
// table's own escapes stay escapes, decoded once when the text is looked up.
std::string CLiteral(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: kvplm-textgen NAME TABLE.tsv OUT.cpp OUT_en.tsv\n";
        return 2;
    }
    const std::string name = argv[1];
    std::ifstream in(argv[2]);
    if (!in) {
        std::cerr << "kvplm-textgen: cannot read " << argv[2] << "\n";
        return 1;
    }
    std::ostringstream cpp, english;
    // The table is declared extern before its definition: a const array at
    // namespace scope would otherwise have internal linkage.
    cpp << "// Generated from " << argv[2] << "; edit the table, not this file.\n"
        << "#include \"TextTable.h\"\n\nnamespace TextTable {\n"
        << "extern const Entry " << name << "German[];\n"
        << "const Entry " << name << "German[] = {\n";
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto fields = Split(line);
        if (fields.size() != 3 || fields[0].empty()) {
            std::cerr << argv[2] << ":" << number << ": expected KEY<TAB>German<TAB>English\n";
            return 1;
        }
        // Every text exists in both languages.
        if (fields[1].empty() || fields[2].empty()) {
            std::cerr << argv[2] << ":" << number << ": key " << fields[0]
                      << " lacks its German or English text\n";
            return 1;
        }
        cpp << "    {\"" << CLiteral(fields[0]) << "\", \"" << CLiteral(fields[1]) << "\"},\n";
        english << fields[0] << '\t' << fields[2] << '\n';
    }
    cpp << "    {nullptr, nullptr},\n};\n} // namespace TextTable\n";
    std::ofstream(argv[3]) << cpp.str();
    std::ofstream(argv[4]) << english.str();
    return 0;
}
