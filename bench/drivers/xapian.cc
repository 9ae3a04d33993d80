// Xapian, with word positions: every token is a posting at its position, so
// phrase and proximity queries work on the same data as Boolean ones.
#include <xapian.h>

#include <cstdio>

#include "driver.h"

namespace {

class XapianEngineT : public EngineT {
 public:
  bool Index(TokenFileT* tokens, const std::string& dir) override {
    try {
      Xapian::WritableDatabase db(dir, Xapian::DB_CREATE_OR_OVERWRITE);
      std::string term;
      while (tokens->NextRecord()) {
        Xapian::Document doc;
        Xapian::termpos position = 0;
        for (std::string_view word : tokens->words()) {
          term.assign(word.data(), word.size());
          doc.add_posting(term, ++position);
        }
        if (db.add_document(doc) != tokens->record()) {
          fprintf(stderr, "xapian numbered record %u differently\n", tokens->record());
          return false;
        }
      }
      db.commit();
      return true;
    } catch (const Xapian::Error& e) {
      fprintf(stderr, "xapian: %s\n", e.get_description().c_str());
      return false;
    }
  }

  bool Open(const std::string& dir) override {
    try {
      db_ = Xapian::Database(dir);
      return true;
    } catch (const Xapian::Error& e) {
      fprintf(stderr, "xapian: %s\n", e.get_description().c_str());
      return false;
    }
  }

  bool Supports(QueryClassT) const override { return true; }

  bool Run(const QueryT& query, std::vector<uint32_t>* records) override {
    try {
      const std::vector<std::string>& t = query.terms;
      Xapian::Enquire enquire(db_);
      Xapian::doccount depth = db_.get_doccount();
      switch (query.kind) {
        case kQueryAnd:
          enquire.set_query(Xapian::Query(Xapian::Query::OP_AND, t.begin(), t.begin() + 2));
          break;
        case kQueryOr:
          enquire.set_query(Xapian::Query(Xapian::Query::OP_OR, t.begin(), t.begin() + 2));
          break;
        case kQueryAndNot:
          enquire.set_query(Xapian::Query(Xapian::Query::OP_AND_NOT, t.begin(), t.begin() + 2));
          break;
        case kQueryPhrase:
          enquire.set_query(
              Xapian::Query(Xapian::Query::OP_PHRASE, t.begin(), t.begin() + 2, 2));
          break;
        case kQueryNear:
          // A window of w positions holds terms at most w - 1 apart.
          enquire.set_query(Xapian::Query(Xapian::Query::OP_NEAR, t.begin(), t.begin() + 2,
                                          kNearDistance + 1));
          break;
        case kQueryPrefix:
          enquire.set_query(Xapian::Query(Xapian::Query::OP_WILDCARD, t[0], 0,
                                          Xapian::Query::WILDCARD_LIMIT_ERROR,
                                          Xapian::Query::OP_OR));
          break;
        case kQueryRanked:
          enquire.set_query(Xapian::Query(Xapian::Query::OP_OR, t.begin(), t.end()));
          depth = kRankedDepth;
          break;
        case kQueryClassCount:
          return false;
      }
      if (query.kind != kQueryRanked) {
        enquire.set_weighting_scheme(Xapian::BoolWeight());
        enquire.set_docid_order(Xapian::Enquire::ASCENDING);
      }
      Xapian::MSet mset = enquire.get_mset(0, depth);
      for (Xapian::MSetIterator it = mset.begin(); it != mset.end(); ++it) {
        records->push_back(*it);
      }
      return true;
    } catch (const Xapian::Error& e) {
      fprintf(stderr, "xapian: %s\n", e.get_description().c_str());
      return false;
    }
  }

 private:
  Xapian::Database db_;
};

std::unique_ptr<EngineT> Make(const std::string& variant) {
  if (variant != "positions") return nullptr;
  return std::make_unique<XapianEngineT>();
}

}  // namespace

int main(int argc, char** argv) { return DriverMain(argc, argv, Make); }
