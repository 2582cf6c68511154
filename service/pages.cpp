#include "service/pages.h"

#include <array>

namespace service {
namespace {

struct Page {
    std::string_view path;
    std::string_view title;
    std::string_view body; // HTML inside <main>
};

constexpr std::array pages{
    Page{"/", "QUENLOW",
         R"(<p>Small, careful desktop tools.</p>
<h2>Brindleaf</h2>
<p>Brindleaf combines several XML files into one: the first file's document, with the
content of every further file's root element appended to its root, in list order.</p>
<ul>
<li><a href="/help/brindleaf/">Online help</a></li>
<li><a href="/blog/credits-and-acknowledgements/">Credits and acknowledgements</a></li>
<li><a href="/blog/how-to-uninstall-quenlow-software/">How to uninstall our software</a></li>
</ul>)"},
    Page{"/help/brindleaf/", "Brindleaf help",
         R"(<h2>Collecting files</h2>
<p>Add XML files with <b>Add XML Files...</b> or drop them from the file manager onto the
window. The first file in the list gives the combined document its root element.</p>
<h2>Exporting</h2>
<p>Choose <b>Export Combined XML...</b> and a file name. Every further file must have a
root element of the same name as the first; a file with another root is reported and
skipped, and a file that cannot be read stops the export, leaving the output untouched.</p>
<h2>Update notices</h2>
<p>Once a day at most, Brindleaf asks whether a newer version is available. Turn the
notices off with <b>Update Notifications</b> in the menu.</p>
<h2>Feedback</h2>
<p><b>Send Feedback...</b> tells us what you like or dislike. An e-mail address is
optional and only used to answer you.</p>)"},
    Page{"/blog/credits-and-acknowledgements/", "Credits and acknowledgements",
         R"(<p>Our tools stand on the work of many open-source projects. We thank the
authors and maintainers of Qt, libxml2, libcurl, PCRE2, ICU, OpenSSL, SQLite and
Boost, and everyone who reported a problem or sent us feedback.</p>)"},
    Page{"/blog/how-to-uninstall-quenlow-software/", "How to uninstall our software",
         R"(<ol>
<li>Close the program.</li>
<li>Remove it with your system's package manager, or delete the folder you unpacked it to.</li>
<li>To remove its settings as well, delete the files of the QUENLOW folder under
<code>~/.config</code>, and its data folder under <code>~/.local/share</code>.</li>
</ol>
<p>Nothing else is left behind.</p>)"},
};

std::string document(std::string_view title, std::string_view body) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>";
    html += title;
    html += "</title>\n<style>body{font-family:sans-serif;max-width:42em;margin:2em auto;"
            "padding:0 1em;line-height:1.5}header a{color:inherit;text-decoration:none}"
            "</style>\n</head>\n<body>\n<header><a href=\"/\">QUENLOW</a></header>\n<main>\n<h1>";
    html += title;
    html += "</h1>\n";
    html += body;
    html += "\n</main>\n</body>\n</html>\n";
    return html;
}

} // namespace

std::optional<std::string> pageAt(std::string_view path) {
    for (const Page& page : pages) {
        if (page.path == path)
            return document(page.title, page.body);
    }
    return std::nullopt;
}

std::string errorPage(unsigned status, std::string_view reason) {
    const std::string title = std::to_string(status) + " " + std::string(reason);
    return document(title, "<p><a href=\"/\">Home page</a></p>");
}

} // namespace service
