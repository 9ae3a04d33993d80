// Lucene++, the C++ port of Lucene 3: one unstored field per record, split on
// spaces (the token file is already tokenised and folded). Variant
// "positions" keeps term frequencies and positions; "records" omits them and
// cannot answer phrase or proximity. Internal document numbers follow the
// order of addition (the merges keep it), so record r is document r - 1.
#include "LuceneHeaders.h"
#include "SpanNearQuery.h"
#include "SpanTermQuery.h"

#include <cstdio>

#include "driver.h"

using namespace Lucene;

namespace {

const wchar_t kField[] = L"body";

String Wide(std::string_view text) { return String(text.begin(), text.end()); }

class AllRecordsCollector : public Collector {
 public:
  explicit AllRecordsCollector(std::vector<uint32_t>* records) : records_(records) {}
  void setScorer(const ScorerPtr&) override {}
  void collect(int32_t doc) override {
    records_->push_back(static_cast<uint32_t>(base_ + doc + 1));
  }
  void setNextReader(const IndexReaderPtr&, int32_t docBase) override { base_ = docBase; }
  bool acceptsDocsOutOfOrder() override { return true; }

 private:
  std::vector<uint32_t>* records_;
  int32_t base_ = 0;
};

class LuceneEngineT : public EngineT {
 public:
  explicit LuceneEngineT(bool positions) : positions_(positions) {}

  bool Index(TokenFileT* tokens, const std::string& dir) override {
    try {
      IndexWriterPtr writer = newLucene<IndexWriter>(
          FSDirectory::open(Wide(dir)), newLucene<WhitespaceAnalyzer>(), true,
          IndexWriter::MaxFieldLengthUNLIMITED);
      DocumentPtr doc = newLucene<Document>();
      FieldPtr field = newLucene<Field>(kField, L"", Field::STORE_NO, Field::INDEX_ANALYZED);
      field->setOmitTermFreqAndPositions(!positions_);
      doc->add(field);
      while (tokens->NextRecord()) {
        field->setValue(Wide(tokens->line()));
        writer->addDocument(doc);
      }
      writer->optimize();
      writer->close();
      return true;
    } catch (const LuceneException& e) {
      fprintf(stderr, "lucene: %ls\n", e.getError().c_str());
      return false;
    }
  }

  bool Open(const std::string& dir) override {
    try {
      searcher_ = newLucene<IndexSearcher>(FSDirectory::open(Wide(dir)), true);
      return true;
    } catch (const LuceneException& e) {
      fprintf(stderr, "lucene: %ls\n", e.getError().c_str());
      return false;
    }
  }

  bool Supports(QueryClassT kind) const override {
    return positions_ || (kind != kQueryPhrase && kind != kQueryNear);
  }

  bool Run(const QueryT& query, std::vector<uint32_t>* records) override {
    try {
      const std::vector<std::string>& t = query.terms;
      QueryPtr q;
      switch (query.kind) {
        case kQueryAnd: q = Boolean(t[0], BooleanClause::MUST, t[1], BooleanClause::MUST); break;
        case kQueryOr:
          q = Boolean(t[0], BooleanClause::SHOULD, t[1], BooleanClause::SHOULD);
          break;
        case kQueryAndNot:
          q = Boolean(t[0], BooleanClause::MUST, t[1], BooleanClause::MUST_NOT);
          break;
        case kQueryPhrase: {
          PhraseQueryPtr phrase = newLucene<PhraseQuery>();
          phrase->add(MakeTerm(t[0]));
          phrase->add(MakeTerm(t[1]));
          q = phrase;
          break;
        }
        case kQueryNear: {
          // Unordered span slop counts the positions between the two terms.
          Collection<SpanQueryPtr> clauses = Collection<SpanQueryPtr>::newInstance();
          clauses.add(newLucene<SpanTermQuery>(MakeTerm(t[0])));
          clauses.add(newLucene<SpanTermQuery>(MakeTerm(t[1])));
          q = newLucene<SpanNearQuery>(clauses, static_cast<int32_t>(kNearDistance - 1), false);
          break;
        }
        case kQueryPrefix: q = newLucene<PrefixQuery>(MakeTerm(t[0])); break;
        case kQueryRanked: {
          BooleanQueryPtr any = newLucene<BooleanQuery>();
          for (const std::string& term : t) {
            any->add(newLucene<TermQuery>(MakeTerm(term)), BooleanClause::SHOULD);
          }
          TopDocsPtr top = searcher_->search(any, static_cast<int32_t>(kRankedDepth));
          for (const ScoreDocPtr& hit : top->scoreDocs) {
            records->push_back(static_cast<uint32_t>(hit->doc + 1));
          }
          return true;
        }
        case kQueryClassCount: return false;
      }
      searcher_->search(q, newLucene<AllRecordsCollector>(records));
      return true;
    } catch (const LuceneException& e) {
      fprintf(stderr, "lucene: %ls\n", e.getError().c_str());
      return false;
    }
  }

 private:
  static TermPtr MakeTerm(const std::string& term) { return newLucene<Term>(kField, Wide(term)); }

  static QueryPtr Boolean(const std::string& a, BooleanClause::Occur occurA,
                          const std::string& b, BooleanClause::Occur occurB) {
    BooleanQueryPtr q = newLucene<BooleanQuery>();
    q->add(newLucene<TermQuery>(MakeTerm(a)), occurA);
    q->add(newLucene<TermQuery>(MakeTerm(b)), occurB);
    return q;
  }

  bool positions_;
  IndexSearcherPtr searcher_;
};

std::unique_ptr<EngineT> Make(const std::string& variant) {
  if (variant == "positions") return std::make_unique<LuceneEngineT>(true);
  if (variant == "records") return std::make_unique<LuceneEngineT>(false);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) { return DriverMain(argc, argv, Make); }
