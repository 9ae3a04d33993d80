// tarvis.Index, Session, Hit, the terms iterator and Snippet; see
// index_object.h.

#include "index_object.h"

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <stdexcept>

#include "errors.h"
#include "library_call.h"
#include "query_text.h"
#include "record_key.h"
#include "snippet.h"

namespace py = pybind11;

namespace {

// The distance of NEAR, as the command's default.
constexpr unsigned long kNearDistance = 5;
// The bytes of text a snippet shows at most.
constexpr size_t kSnippetWidth = 160;
// Room for the longest report of the check (about a hundred lines).
constexpr unsigned long kCheckReportBytes = 1 << 17;

// The bytes of a str (as UTF-8) or of a bytes object.
std::string BytesOf(py::handle value, const char* what) {
  if (py::isinstance<py::bytes>(value)) return value.cast<std::string>();
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  throw py::type_error(std::string(what) + " must be str or bytes, not " +
                       py::str(value.get_type().attr("__name__"))
                           .cast<std::string>());
}

std::optional<std::string> OptionalBytesOf(py::handle value,
                                           const char* what) {
  if (value.is_none()) return std::nullopt;
  return BytesOf(value, what);
}

// Record IDs come back as str; bytes that are not UTF-8 survive the round
// trip through find_id as surrogate escapes.
py::str IdText(const std::string& id) {
  PyObject* text =
      PyUnicode_DecodeUTF8(id.data(), static_cast<Py_ssize_t>(id.size()),
                           "surrogateescape");
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

std::string IdBytes(py::handle id) {
  if (py::isinstance<py::str>(id)) {
    PyObject* bytes = PyUnicode_AsEncodedString(id.ptr(), "utf-8",
                                                "surrogateescape");
    if (bytes == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
  }
  return BytesOf(id, "id");
}

// A count argument: None for no bound; a negative one is refused.
size_t Bound(const std::optional<long long>& value, const char* what) {
  if (!value) return static_cast<size_t>(-1);
  if (*value < 0) {
    Raise(StatusMalformedParameter, std::string(what) + " must not be negative");
  }
  return static_cast<size_t>(*value);
}

// The str length of the first bytes of a UTF-8 text.
size_t CharactersIn(const std::string& text, size_t bytes) {
  PyObject* prefix = PyUnicode_DecodeUTF8(
      text.data(), static_cast<Py_ssize_t>(bytes), "replace");
  if (prefix == nullptr) throw py::error_already_set();
  size_t length = static_cast<size_t>(PyUnicode_GetLength(prefix));
  Py_DECREF(prefix);
  return length;
}

struct HitObjectT {
  unsigned long Record;
  std::optional<double> Score;
  py::object Index;
};

struct SessionObjectT {
  py::object Index;
  uint64_t Serial = 0;
};

struct TermIteratorT {
  py::object Index;
  std::unique_ptr<TermListT> List;
  uint64_t Changes;
};

struct SnippetObjectT {
  std::string Text;
  std::vector<std::pair<size_t, size_t>> Marks;  // in characters
};

IndexObjectT& Object(py::handle index) { return index.cast<IndexObjectT&>(); }

py::object RecordData(IndexObjectT& index, unsigned long record) {
  std::string data;
  bool kept = LibraryCall(
      index, [&] { return index.Handle().RecordData(record, &data); });
  if (!kept) return py::none();
  return py::bytes(data);
}

py::object RecordId(IndexObjectT& index, unsigned long record) {
  std::string id;
  bool kept =
      LibraryCall(index, [&] { return index.Handle().RecordId(record, &id); });
  if (!kept || id.empty()) return py::none();
  return IdText(id);
}

// The records a typed query matches, in record order.
std::vector<HitT> Search(IndexObjectT& index, const std::string& query) {
  return LibraryCall(index, [&] {
    QueryTextT text = ReadQuery([&] {
      return ConvertUserQuery(query, index.Tokenizer(), kNearDistance);
    });
    return index.Handle().Query("", text.ShortForm);
  });
}

py::list HitList(py::handle index, const std::vector<HitT>& hits,
                 size_t first, size_t count, bool ranked) {
  py::list list;
  for (size_t i = first; i < hits.size() && i - first < count; ++i) {
    HitObjectT hit{hits[i].Record, std::nullopt,
                   py::reinterpret_borrow<py::object>(index)};
    if (ranked) hit.Score = hits[i].Score;
    list.append(py::cast(std::move(hit)));
  }
  return list;
}

void AddRecord(SessionObjectT& session, const std::string* text,
               const std::vector<std::string>* words, py::handle data,
               py::handle id) {
  std::optional<std::string> dataBytes = OptionalBytesOf(data, "data");
  std::optional<std::string> idBytes;
  if (!id.is_none()) {
    idBytes = IdBytes(id);
    IndexingSessionT::CheckId(*idBytes);  // before any word goes in
  }
  IndexObjectT& index = Object(session.Index);
  LibraryCall(index, [&] {
    IndexingSessionT& indexing = index.Session(session.Serial);
    if (text != nullptr) {
      indexing.AddText(index.Tokenizer(),
                       reinterpret_cast<const unsigned char*>(text->data()),
                       text->size());
    } else {
      for (const std::string& word : *words) indexing.AddWord(word);
    }
    indexing.EndRecord(dataBytes ? &*dataBytes : nullptr,
                       idBytes ? &*idBytes : nullptr);
  });
}

py::object Snippet(IndexObjectT& index, py::handle hit,
                   const std::string& query) {
  unsigned long record = py::isinstance<HitObjectT>(hit)
                             ? hit.cast<HitObjectT&>().Record
                             : hit.cast<unsigned long>();
  SnippetT snippet = LibraryCall(index, [&] {
    QueryTextT terms = ReadQuery([&] {
      return ConvertUserQuery(query, index.Tokenizer(), kNearDistance);
    });
    HighlighterT highlighter(terms, index.Tokenizer());
    std::string data;
    if (!index.Handle().RecordData(record, &data)) return SnippetT();
    // The command keeps a file's path (and a NUL) as record data; other
    // hosts may keep the record's text.
    if (data.find('\0') != std::string::npos) {
      return highlighter.Snippet(ParseRecordData(data), kSnippetWidth);
    }
    return highlighter.SnippetOfText(data, kSnippetWidth);
  });
  if (!snippet.Found) return py::none();
  SnippetObjectT result;
  PyObject* text = PyUnicode_DecodeUTF8(
      snippet.Text.data(), static_cast<Py_ssize_t>(snippet.Text.size()),
      "replace");
  if (text == nullptr) throw py::error_already_set();
  result.Text = py::reinterpret_steal<py::str>(text).cast<std::string>();
  for (const auto& mark : snippet.Marks) {
    result.Marks.emplace_back(CharactersIn(snippet.Text, mark.first),
                              CharactersIn(snippet.Text, mark.second));
  }
  return py::cast(std::move(result));
}

std::vector<std::string> CheckIndex(const std::string& path) {
  std::vector<char> report(kCheckReportBytes);
  StatusCodeT status = 0;
  std::string name = path;
  unsigned long problems =
      tvCheckIndex(&name[0], report.data(), report.size(), &status);
  CheckStatus(status, path);
  std::vector<std::string> lines;
  std::string text = report.data();
  size_t at = 0;
  while (problems != 0 && at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

void MarkRecords(IndexObjectT& index, const py::args& records,
                 bool deleted) {
  std::vector<unsigned long> numbers;
  for (py::handle record : records) {
    numbers.push_back(record.cast<unsigned long>());
  }
  LibraryCall(index, [&] {
    index.WritableHandle(deleted ? "delete" : "undelete")
        .MarkDeleted(numbers, deleted);
    index.Changed();
  });
}

}  // namespace

IndexObjectT::IndexObjectT(const std::string& path, bool readonly)
    : path_(path), readonly_(readonly) {
  auto handle = std::make_unique<IndexHandleT>(path);
  handle->OpenForRetrieval();
  LoadSettings(path, &settings_);
  stopWords_ = std::make_unique<StopWordsT>(settings_);
  tokenizer_ = std::make_unique<TokenizerT>(settings_.Stem, stopWords_->List());
  handle_ = std::move(handle);
}

IndexObjectT::~IndexObjectT() {
  try {
    Close();
  } catch (...) {
    // An index that cannot close cleanly is left as the library leaves it.
  }
}

std::unique_ptr<IndexObjectT> IndexObjectT::Create(
    const std::string& path, const std::string& mode, bool stem,
    const std::optional<std::string>& stop, bool recordData, bool recordIds) {
  IndexSettingsT settings;
  settings.Mode = ModeFromName(mode);
  if (settings.Mode == 0) {
    Raise(StatusMalformedParameter,
          "mode must be \"record\", \"word\" or \"idf\", not \"" + mode + "\"");
  }
  settings.Stem = stem;
  if (stop) ChooseStopList(*stop, &settings);
  IndexHandleT handle(path);
  handle.Create(settings.Mode, recordData, recordIds);
  SaveSettings(path, settings);
  return std::make_unique<IndexObjectT>(path, false);
}

void IndexObjectT::Close() {
  if (handle_ == nullptr) return;
  if (session_ != nullptr) {
    std::unique_ptr<IndexingSessionT> session = std::move(session_);
    if (session->Active()) session->Discard();
  }
  std::unique_ptr<IndexHandleT> handle = std::move(handle_);
  ++changes_;
  handle->Close();
}

IndexHandleT& IndexObjectT::Handle() {
  if (handle_ == nullptr) {
    Raise(StatusIndexNotLoaded, path_ + ": the index is closed");
  }
  return *handle_;
}

IndexHandleT& IndexObjectT::WritableHandle(const char* what) {
  IndexHandleT& handle = Handle();
  if (readonly_) {
    Raise(StatusFileReadOnly,
          path_ + ": " + what + ": the index was opened read-only");
  }
  return handle;
}

uint64_t IndexObjectT::StartSession() {
  IndexHandleT& handle = WritableHandle("indexing session");
  if (session_ != nullptr) {
    Raise(StatusIndexLocked,
          path_ + ": an indexing session is already open on this index");
  }
  session_ = std::make_unique<IndexingSessionT>(&handle);
  return ++sessionSerial_;
}

IndexingSessionT& IndexObjectT::Session(uint64_t serial) {
  Handle();
  if (session_ == nullptr || serial != sessionSerial_) {
    Raise(StatusNotInitializedForIndexing,
          path_ + ": the session is not open (use it inside its with block)");
  }
  return *session_;
}

void IndexObjectT::EndSession(uint64_t serial, bool commit) {
  Session(serial);
  std::unique_ptr<IndexingSessionT> session = std::move(session_);
  ++changes_;
  if (commit) {
    session->End();
  } else {
    session->Discard();
  }
}

void RegisterIndex(py::module_& module) {
  py::class_<HitObjectT>(module, "Hit",
                         "One record of a result: .record, .score (None "
                         "unless ranked),\n.data and .id (read from the "
                         "index when first asked for).")
      .def_readonly("record", &HitObjectT::Record, "The record number.")
      .def_readonly("score", &HitObjectT::Score,
                    "The score of a ranked hit, else None.")
      .def_property_readonly(
          "data",
          [](HitObjectT& hit) { return RecordData(Object(hit.Index), hit.Record); },
          "The record's data (bytes), or None when the index keeps none.")
      .def_property_readonly(
          "id",
          [](HitObjectT& hit) { return RecordId(Object(hit.Index), hit.Record); },
          "The record's ID (str), or None.")
      .def("__repr__", [](const HitObjectT& hit) {
        std::string text = "Hit(record=" + std::to_string(hit.Record);
        if (hit.Score) {
          text += ", score=" + py::repr(py::float_(*hit.Score)).cast<std::string>();
        }
        return text + ")";
      });

  py::class_<SnippetObjectT>(module, "Snippet",
                             "A line of a record's text with the words a "
                             "query matched:\n.text and .marks, the (start, "
                             "end) of each match in text.")
      .def_readonly("text", &SnippetObjectT::Text)
      .def_readonly("marks", &SnippetObjectT::Marks)
      .def(
          "highlight",
          [](const SnippetObjectT& snippet, const std::string& before,
             const std::string& after) {
            py::str text(snippet.Text);
            std::string out;
            size_t at = 0;
            for (const auto& mark : snippet.Marks) {
              out += py::str(text[py::slice(at, mark.first, 1)]).cast<std::string>();
              out += before;
              out += py::str(text[py::slice(mark.first, mark.second, 1)]).cast<std::string>();
              out += after;
              at = mark.second;
            }
            out += py::str(text[py::slice(at, py::len(text), 1)]).cast<std::string>();
            return out;
          },
          py::arg("before") = "[", py::arg("after") = "]",
          "The text with each match between before and after.")
      .def("__str__", [](const SnippetObjectT& snippet) { return snippet.Text; })
      .def("__repr__", [](const SnippetObjectT& snippet) {
        return "Snippet(" + py::repr(py::str(snippet.Text)).cast<std::string>() + ")";
      });

  py::class_<SessionObjectT>(module, "Session",
                             "One indexing session, made by Index.session(): "
                             "committed as one\nnew partition when its with "
                             "block ends normally, discarded when it raises.")
      .def("__enter__",
           [](SessionObjectT& session) -> SessionObjectT& {
             IndexObjectT& index = Object(session.Index);
             session.Serial = LibraryCall(index, [&] { return index.StartSession(); });
             return session;
           })
      .def("__exit__",
           [](SessionObjectT& session, py::handle type, py::handle,
              py::handle) {
             IndexObjectT& index = Object(session.Index);
             bool commit = type.is_none();
             LibraryCall(index, [&] { index.EndSession(session.Serial, commit); });
             return false;
           })
      .def(
          "add_text",
          [](SessionObjectT& session, py::handle text, py::handle data,
             py::handle id) {
            std::string bytes = BytesOf(text, "text");
            AddRecord(session, &bytes, nullptr, data, id);
          },
          py::arg("text"), py::arg("data") = py::none(),
          py::arg("id") = py::none(),
          "Adds one record: the words of text (str, or bytes as UTF-8),\n"
          "tokenized, folded, stemmed and stopped as the index's settings "
          "say;\nits data (bytes or str) and its ID (str or bytes, 1 to 120 "
          "bytes)\nare kept when given.")
      .def(
          "add_words",
          [](SessionObjectT& session, py::iterable words, py::handle data,
             py::handle id) {
            std::vector<std::string> list;
            for (py::handle word : words) list.push_back(BytesOf(word, "a word"));
            AddRecord(session, nullptr, &list, data, id);
          },
          py::arg("words"), py::arg("data") = py::none(),
          py::arg("id") = py::none(),
          "Adds one record of the words given, as they are (str as UTF-8, or\n"
          "bytes; 255 bytes at most each), with its data and ID as "
          "add_text.");

  py::class_<TermIteratorT>(module, "TermIterator",
                            "The (term, records, hits) of an index's words, "
                            "in order.")
      .def("__iter__", [](TermIteratorT& terms) -> TermIteratorT& { return terms; })
      .def("__next__", [](TermIteratorT& terms) {
        IndexObjectT& index = Object(terms.Index);
        if (index.Changes() != terms.Changes) {
          throw std::runtime_error("the index changed during the walk of its terms");
        }
        TermT term;
        if (!LibraryCall(index, [&] { return terms.List->Next(&term); })) {
          throw py::stop_iteration();
        }
        return py::make_tuple(py::str(term.Word), term.Records, term.Hits);
      });

  py::class_<IndexObjectT>(module, "Index",
                           "An index file, open for searching (and for "
                           "indexing unless read-only).\nMade by "
                           "Index.create or Index.open; a context manager "
                           "that closes it.")
      .def_static(
          "create",
          [](const std::filesystem::path& path, const std::string& mode,
             bool stem, py::object stop, bool recordData, bool recordIds) {
            std::optional<std::string> stopOption;
            if (!stop.is_none()) {
              stopOption = py::str(py::module_::import("os").attr("fspath")(stop))
                               .cast<std::string>();
            }
            return LibraryCall([&] {
              return IndexObjectT::Create(path.string(), mode, stem,
                                          stopOption, recordData, recordIds);
            });
          },
          py::arg("path"), py::arg("mode") = "word", py::arg("stem") = false,
          py::arg("stop") = py::none(), py::arg("record_data") = true,
          py::arg("record_ids") = true,
          "Creates a new index (never over an existing file) and opens it.\n"
          "mode: \"record\" (which records hold a word), \"word\" (every "
          "position)\nor \"idf\" (counts); stem: index English stems; stop: "
          "None, \"english\"\nor the path of a stop word file; record_data, "
          "record_ids: keep them.\nThe choices are kept beside the index in "
          "PATH.settings.")
      .def_static(
          "open",
          [](const std::filesystem::path& path, bool readonly) {
            return LibraryCall([&] {
              return std::make_unique<IndexObjectT>(path.string(), readonly);
            });
          },
          py::arg("path"), py::arg("readonly") = false,
          "Opens an index, made by this package or by the tarvis command.\n"
          "readonly refuses sessions, deletions and optimization.")
      .def("close",
           [](IndexObjectT& index) { LibraryCall(index, [&] { index.Close(); }); },
           "Closes the index (an open session is discarded); idempotent.")
      .def("__enter__", [](IndexObjectT& index) -> IndexObjectT& { return index; })
      .def("__exit__",
           [](IndexObjectT& index, py::handle, py::handle, py::handle) {
             LibraryCall(index, [&] { index.Close(); });
             return false;
           })
      .def("__len__",
           [](IndexObjectT& index) {
             return LibraryCall(index, [&] { return index.Handle().LiveRecords(); });
           },
           "The records that are not deleted.")
      .def(
          "session",
          [](py::object self) {
            Object(self).Handle();
            return SessionObjectT{self, 0};
          },
          "A new indexing session, for a with block.")
      .def(
          "search",
          [](py::object self, const std::string& query,
             std::optional<long long> limit, long long offset) {
            size_t count = Bound(limit, "limit");
            size_t first = Bound(offset, "offset");
            std::vector<HitT> hits = Search(Object(self), query);
            return HitList(self, hits, first, count, false);
          },
          py::arg("query"), py::arg("limit") = py::none(),
          py::arg("offset") = 0,
          "The hits of a typed query in record order: words, AND, OR, NOT,\n"
          "NEAR, W/n, parentheses, \"phrases\", wildcards (* ?) and a - b "
          "ranges.\nA malformed query raises QuerySyntaxError.")
      .def(
          "ranked",
          [](py::object self, const std::string& text,
             std::optional<std::string> filter, std::optional<long long> limit) {
            size_t count = Bound(limit, "limit");
            IndexObjectT& index = Object(self);
            std::vector<HitT> hits = LibraryCall(index, [&] {
              QueryTextT terms = ReadQuery(
                  [&] { return ConvertRankedTerms(text, index.Tokenizer()); });
              QueryTextT selection;
              if (filter) {
                selection = ReadQuery([&] {
                  return ConvertUserQuery(*filter, index.Tokenizer(),
                                          kNearDistance);
                });
              }
              // No more records are scored into the result than are kept.
              return index.Handle().Query(terms.ShortForm, selection.ShortForm,
                                          count);
            });
            return HitList(self, hits, 0, count, true);
          },
          py::arg("text"), py::arg("filter") = py::none(),
          py::arg("limit") = 10,
          "Hits scored by the words of text (+word required, -word "
          "excluded),\nbest first; filter, a typed query, selects the "
          "records scored.")
      .def(
          "count",
          [](IndexObjectT& index, const std::string& query) {
            return Search(index, query).size();
          },
          py::arg("query"), "The number of records a typed query matches.")
      .def("data", &RecordData, py::arg("record"),
           "A record's data (bytes), or None when the index keeps none.")
      .def("id", &RecordId, py::arg("record"), "A record's ID (str), or None.")
      .def(
          "find_id",
          [](IndexObjectT& index, py::handle id) -> py::object {
            std::string bytes = IdBytes(id);
            unsigned long record = LibraryCall(
                index, [&] { return index.Handle().FindRecordId(bytes); });
            if (record == 0) return py::none();
            return py::int_(record);
          },
          py::arg("id"),
          "The record with this ID (the newest when several have it), or "
          "None.")
      .def(
          "terms",
          [](py::object self, std::optional<std::string> pattern) {
            IndexObjectT& index = Object(self);
            TermIteratorT terms{self, nullptr, index.Changes()};
            terms.List = LibraryCall(index, [&] {
              return std::make_unique<TermListT>(index.Handle(),
                                                 pattern.value_or(""));
            });
            return terms;
          },
          py::arg("pattern") = py::none(),
          "An iterator of (term, records, hits) over the index's words in\n"
          "order: all, those starting with a prefix, or those matching a\n"
          "pattern with * and ?.")
      .def(
          "delete",
          [](IndexObjectT& index, py::args records) {
            MarkRecords(index, records, true);
          },
          "Deletes records by number: they drop out of every search.")
      .def(
          "undelete",
          [](IndexObjectT& index, py::args records) {
            MarkRecords(index, records, false);
          },
          "Brings deleted records back (until an optimization).")
      .def(
          "deleted",
          [](IndexObjectT& index) {
            return LibraryCall(index, [&] { return index.Handle().DeletedRecords(); });
          },
          "The deleted records, ascending.")
      .def(
          "optimize",
          [](IndexObjectT& index) {
            LibraryCall(index, [&] {
              IndexHandleT& handle = index.WritableHandle("optimize");
              unsigned long partitions = handle.Partitions();
              if (partitions > 1 ||
                  (partitions == 1 && !handle.DeletedRecords().empty())) {
                handle.MergeLastPartitions(partitions);
                index.Changed();
              }
            });
          },
          "Merges every partition into one and removes the deleted "
          "records;\nrecord numbers change.")
      .def(
          "check",
          [](IndexObjectT& index) {
            return LibraryCall(index, [&] { return CheckIndex(index.Path()); });
          },
          "The problems the integrity check finds in the index file (an "
          "empty\nlist for a sound index).")
      .def("snippet", &Snippet, py::arg("hit"), py::arg("query"),
           "A Snippet of the hit's (or record number's) text for a typed "
           "query:\nfrom the file the tarvis command indexed, or from the "
           "record's data;\nNone when there is no text to show.")
      .def_property_readonly("path", &IndexObjectT::Path,
                             "The index file's path.");
}
