#include "record/FsrsFit.h"

#include "record/FsrsDual.h"
#include "record/FsrsModel.h"

#include <QSet>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <type_traits>

namespace FsrsFit
{

const std::array<Bound, 21> Bounds = {
    {{0.001, 100},  {0.001, 100},  {0.001, 100}, {0.001, 100}, {1, 10},      {0.001, 4},
     {0.001, 4},    {0.001, 0.75}, {0, 4.5},     {0, 0.8},     {0.001, 3.5}, {0.001, 5},
     {0.001, 0.25}, {0.001, 0.9},  {0, 4},       {0, 1},       {1, 6},       {0, 2},
     {0, 2},        {0, 0.8},      {0.1, 0.8}}};

bool inBounds(const Fsrs::Weights& w)
{
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (!(w[i] >= Bounds[i].low && w[i] <= Bounds[i].high)) {
            return false;
        }
    }
    return true;
}

qsizetype predictedReviews(const QList<ReviewCard>& cards)
{
    qsizetype n = 0;
    for (const ReviewCard& c : cards) {
        n += std::max<qsizetype>(c.steps.size() - 1, 0);
    }
    return n;
}

namespace
{

using Fsrs::Model::Formulas;
using Fsrs::Model::Unrounded;

// The parameters Adam moves: the difficulty's, the stability's after a
// recall and after a lapse, and the forgetting curve's decay.
constexpr std::array<int, 14> Free = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20};
constexpr int FreeCount = int(Free.size());
using Number = Fsrs::Model::Dual<FreeCount>;
using Gradient = std::array<double, FreeCount>;

// How far each parameter lies from the defaults across many learners' fits:
// the pull back to the start weighs each parameter's move by it.
constexpr std::array<double, 21> Spread = {6.43, 9.66, 17.58, 27.85, 0.57, 0.28, 0.6,
                                           0.12, 0.39, 0.18,  0.33,  0.3,  0.09, 0.16,
                                           0.57, 0.25, 1.03,  0.31,  0.32, 0.14, 0.27};

Formulas<Number, Unrounded> withDerivatives(const Fsrs::Weights& w)
{
    std::array<Number, 21> x;
    for (std::size_t i = 0; i < w.size(); ++i) {
        x[i] = Number(w[i]);
    }
    for (int k = 0; k < FreeCount; ++k) {
        x[std::size_t(Free[k])] = Number::variable(w[std::size_t(Free[k])], k);
    }
    return {x, Unrounded()};
}

bool recalled(int grade)
{
    return grade > 1;
}

// The weighted log loss of a card's reviews (weights[i - 1] for review i;
// all 1 when none are given); with numbers carrying derivatives, these are
// added to `gradient`.
template <class T>
double cardLoss(const Formulas<T, Unrounded>& f, const ReviewCard& card,
                const QList<double>* weights, qsizetype limit, Gradient* gradient)
{
    double loss = 0;
    Fsrs::Model::replay(f, card.steps, limit, [&](qsizetype i, const T& r) {
        const double w = weights ? weights->at(i - 1) : 1.0;
        if (w == 0) {
            return;
        }
        // A recall of exactly 0 or 1 would make an answer infinitely wrong.
        const double p = std::clamp(Fsrs::Model::valueOf(r), 1e-9, 1 - 1e-9);
        const bool y = recalled(card.steps[i].grade);
        loss -= w * std::log(y ? p : 1 - p);
        if constexpr (std::is_same_v<T, Number>) {
            const double slope = w * (y ? -1 / p : 1 / (1 - p));
            for (int k = 0; k < FreeCount; ++k) {
                (*gradient)[std::size_t(k)] += slope * r.d[std::size_t(k)];
            }
        }
    });
    return loss;
}

// The cards learnt from and the weight of each of their reviews: later
// reviews weigh more (from 0.5 to 1.5 by time), and a review past the
// longest card learnt from weighs 0.
struct Training {
    QList<const ReviewCard*> cards;
    QList<QList<double>> weights; // beside cards
    QList<qsizetype> counts;      // reviews learnt from, beside cards
    qsizetype reviews = 0;
};

// The (first rating, days to the second review) pairs too rare to learn
// from, as the reference sets them aside: of each first rating, its
// smallest groups up to a twentieth of its problems (20 at least), and any
// group of fewer than 6 problems or after more than 100 days.
QSet<std::pair<int, int>> rarePairs(const QList<ReviewCard>& cards)
{
    std::map<int, std::map<int, int>> groups;
    for (const ReviewCard& c : cards) {
        if (c.steps.size() >= 2) {
            ++groups[c.steps[0].grade][c.steps[1].elapsedDays];
        }
    }
    QSet<std::pair<int, int>> rare;
    for (const auto& [grade, byDays] : groups) {
        std::vector<std::pair<int, int>> sizes(byDays.begin(), byDays.end()); // days, problems
        std::sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second < b.second : a.first < b.first;
        });
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0,
                                          [](int sum, const auto& s) { return sum + s.second; });
        int setAside = 0;
        for (const auto& [days, problems] : sizes) {
            if (setAside + problems >= std::max(20, total / 20)) {
                if (problems < 6 || days > (grade != 4 ? 100 : 365)) {
                    rare.insert({grade, days});
                }
            } else {
                setAside += problems;
                rare.insert({grade, days});
            }
        }
    }
    return rare;
}

QList<const ReviewCard*> keptCards(const QList<ReviewCard>& cards)
{
    const QSet<std::pair<int, int>> rare = rarePairs(cards);
    QList<const ReviewCard*> kept;
    for (const ReviewCard& c : cards) {
        if (c.steps.size() >= 2 && !rare.contains({c.steps[0].grade, c.steps[1].elapsedDays})) {
            kept.append(&c);
        }
    }
    return kept;
}

Training prepare(const QList<ReviewCard>& cards, int longestCard)
{
    struct Dated {
        qint64 at;
        qsizetype card, review;
    };
    Training t;
    t.cards = keptCards(cards);
    std::vector<Dated> byTime;
    for (qsizetype c = 0; c < t.cards.size(); ++c) {
        const QList<ReviewStep>& steps = t.cards[c]->steps;
        const qsizetype n = std::min<qsizetype>(steps.size(), longestCard);
        for (qsizetype i = 1; i < n; ++i) {
            byTime.push_back({steps[i].clockMs, c, i});
        }
        t.weights.append(QList<double>(steps.size() - 1, 0.0));
        t.counts.append(n - 1);
    }
    std::sort(byTime.begin(), byTime.end(), [](const Dated& a, const Dated& b) {
        return std::tie(a.at, a.card, a.review) < std::tie(b.at, b.card, b.review);
    });
    t.reviews = qsizetype(byTime.size());
    for (std::size_t rank = 0; rank < byTime.size(); ++rank) {
        t.weights[byTime[rank].card][byTime[rank].review - 1] =
            double(rank) / double(t.reviews) + 0.5;
    }
    return t;
}

// The stability after a first rating that best predicts the recall at the
// second review, `byDays` holding (recalled, reviews) by the days between
// them: a ternary search, as the reference's, on the log loss with each
// day's recall smoothed towards the class's and a pull to the default.
double searchStability(const std::map<int, std::pair<double, double>>& byDays, double average,
                       double byDefault)
{
    const double decay = -Fsrs::DefaultWeights[20];
    const double factor = std::pow(0.9, 1 / decay) - 1;
    const auto loss = [&](double s) {
        double sum = std::abs(s - byDefault) / 16;
        for (const auto& [days, counted] : byDays) {
            const auto [recalls, n] = counted;
            const double r = (recalls + average) / (n + 1);
            const double p = std::pow(1 + factor * days / s, decay);
            sum -= n * (r * std::log(p) + (1 - r) * std::log(1 - p));
        }
        return sum;
    };
    double low = Bounds[0].low, high = Bounds[0].high, best = byDefault;
    for (int i = 0; i < 1000 && high - low > DBL_EPSILON; ++i) {
        const double third1 = low + (high - low) / 3, third2 = high - (high - low) / 3;
        if (loss(third1) < loss(third2)) {
            high = third2;
        } else {
            low = third1;
        }
        best = (high + low) / 2;
    }
    return best;
}

// A better first rating never remembers for less: of two out of order, the
// one of fewer reviews takes the other's stability.
void keepInOrder(std::map<int, double>& s, const std::map<int, int>& counts)
{
    for (const auto& [small, big] : {std::pair(1, 2), std::pair(2, 3), std::pair(3, 4),
                                     std::pair(1, 3), std::pair(2, 4), std::pair(1, 4)}) {
        if (s.count(small) && s.count(big) && s[small] > s[big]) {
            if (counts.at(small) > counts.at(big)) {
                s[big] = s[small];
            } else {
                s[small] = s[big];
            }
        }
    }
}

// The stabilities of the ratings never given, from those given, by the
// reference's fixed ratios between neighbours (r by rating, 1..4).
void fillIn(std::array<std::optional<double>, 5>& r, std::size_t known)
{
    const double w1 = 0.41, w2 = 0.54;
    const auto has = [&r](int grade) { return r[std::size_t(grade)].has_value(); };
    const auto at = [&r](int grade) { return *r[std::size_t(grade)]; };
    if (known == 2) {
        const double both = w1 + w2 - w1 * w2;
        if (has(3) && has(4)) {
            r[2] = std::pow(at(3), 1 / (1 - w2)) * std::pow(at(4), 1 - 1 / (1 - w2));
        } else if (has(2) && has(4)) {
            r[3] = std::pow(at(2), 1 - w2) * std::pow(at(4), w2);
        } else if (has(1) && has(4)) {
            r[2] = std::pow(at(1), w1 / both) * std::pow(at(4), 1 - w1 / both);
            r[3] = std::pow(at(1), 1 - w2 / both) * std::pow(at(4), w2 / both);
        } else if (has(1) && has(3)) {
            r[2] = std::pow(at(1), w1) * std::pow(at(3), 1 - w1);
        } else if (has(1) && has(2)) {
            r[3] = std::pow(at(1), 1 - 1 / (1 - w1)) * std::pow(at(2), 1 / (1 - w1));
        }
    }
    // Three known (or two filled to three above): the one left.
    if (!has(1)) {
        r[1] = std::pow(at(2), 1 / w1) * std::pow(at(3), 1 - 1 / w1);
    } else if (!has(2)) {
        r[2] = std::pow(at(1), w1) * std::pow(at(3), 1 - w1);
    } else if (!has(3)) {
        r[3] = std::pow(at(2), 1 - w2) * std::pow(at(4), w2);
    }
    if (!has(4)) {
        r[4] = std::pow(at(2), 1 - 1 / w2) * std::pow(at(3), 1 / w2);
    }
}

// Each first rating's stability, kept in order and filled in where a
// rating was never given, within the bounds.
std::array<double, 4> smoothAndFill(std::map<int, double> s, const std::map<int, int>& counts)
{
    std::array<double, 4> out;
    std::copy(Fsrs::DefaultWeights.begin(), Fsrs::DefaultWeights.begin() + 4, out.begin());
    keepInOrder(s, counts);
    if (s.size() == 1) {
        // One rating alone scales the defaults.
        const auto [grade, value] = *s.begin();
        const double scale = value / Fsrs::DefaultWeights[std::size_t(grade - 1)];
        for (double& v : out) {
            v *= scale;
        }
        std::sort(out.begin(), out.end());
    } else if (s.size() > 1) {
        std::array<std::optional<double>, 5> r;
        for (const auto& [grade, value] : s) {
            r[std::size_t(grade)] = value;
        }
        fillIn(r, s.size());
        for (std::size_t i = 0; i < 4; ++i) {
            out[i] = *r[i + 1];
        }
    }
    for (double& v : out) {
        v = std::clamp(v, Bounds[0].low, Bounds[0].high);
    }
    return out;
}

// Adam, as the reference steps it.
class Adam
{
public:
    void step(Fsrs::Weights& w, const Gradient& g, double rate)
    {
        ++t_;
        const double beta1 = 0.9, beta2 = 0.999, epsilon = 1e-8;
        const double c1 = 1 - std::pow(beta1, t_), c2 = 1 - std::pow(beta2, t_);
        for (std::size_t k = 0; k < g.size(); ++k) {
            m_[k] = beta1 * m_[k] + (1 - beta1) * g[k];
            v_[k] = beta2 * v_[k] + (1 - beta2) * g[k] * g[k];
            w[std::size_t(Free[k])] -= rate * (m_[k] / c1) / (std::sqrt(v_[k] / c2) + epsilon);
        }
    }

private:
    Gradient m_{}, v_{};
    int t_ = 0;
};

void keepInBounds(Fsrs::Weights& w)
{
    for (std::size_t i = 0; i < w.size(); ++i) {
        w[i] = std::clamp(w[i], Bounds[i].low, Bounds[i].high);
    }
}

// The pull back to the start, scaled by the share of the reviews a step saw.
double pullBack(const Fsrs::Weights& w, const Fsrs::Weights& start, double scale,
                Gradient* gradient)
{
    double sum = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        sum += std::pow((w[i] - start[i]) / Spread[i], 2);
    }
    if (gradient) {
        for (int k = 0; k < FreeCount; ++k) {
            const std::size_t i = std::size_t(Free[std::size_t(k)]);
            (*gradient)[std::size_t(k)] += scale * 2 * (w[i] - start[i]) / (Spread[i] * Spread[i]);
        }
    }
    return scale * sum;
}

// Each card's place in a step's batch, shuffled anew each time.
void shuffle(QList<qsizetype>& order, std::mt19937_64& random)
{
    for (qsizetype i = order.size() - 1; i > 0; --i) {
        std::swap(order[i], order[qsizetype(random() % quint64(i + 1))]);
    }
}

// Minibatches of whole cards, each of batchSize reviews or a little more;
// the parameters of the epoch whose loss (with the pull back) was least.
Fsrs::Weights train(const Training& t, const Fsrs::Weights& start, const Settings& s)
{
    Fsrs::Weights w = start, best = start;
    double bestLoss = INFINITY;
    Adam adam;
    std::mt19937_64 random(s.seed);
    QList<qsizetype> order(t.cards.size());
    std::iota(order.begin(), order.end(), 0);
    const double steps = double(s.epochs) * std::ceil(double(t.reviews) / s.batchSize);
    int step = 0;
    for (int epoch = 0; epoch < s.epochs; ++epoch) {
        shuffle(order, random);
        Formulas<Number, Unrounded> f = withDerivatives(w);
        Gradient g{};
        qsizetype inBatch = 0;
        for (qsizetype i = 0; i < order.size(); ++i) {
            const qsizetype c = order[i];
            cardLoss(f, *t.cards[c], &t.weights[c], s.longestCard, &g);
            inBatch += t.counts[c];
            if (inBatch >= s.batchSize || i + 1 == order.size()) {
                pullBack(w, start, s.gamma * double(inBatch) / double(t.reviews), &g);
                ++step;
                const double rate =
                    s.learningRate * (1 + std::cos(M_PI * std::min(step / steps, 1.0))) / 2;
                adam.step(w, g, rate);
                keepInBounds(w);
                f = withDerivatives(w);
                g = {};
                inBatch = 0;
            }
        }
        const Formulas<double, Unrounded> plain(w, Unrounded());
        double loss = pullBack(w, start, s.gamma, nullptr);
        for (qsizetype c = 0; c < t.cards.size(); ++c) {
            loss += cardLoss(plain, *t.cards[c], &t.weights[c], s.longestCard, nullptr);
        }
        if (loss < bestLoss) {
            bestLoss = loss;
            best = w;
        }
    }
    return best;
}

} // namespace

std::array<double, 4> initialStabilities(const QList<ReviewCard>& cards)
{
    std::map<int, std::map<int, std::pair<double, double>>> byFirst; // recalls, reviews
    double recalls = 0, reviews = 0;
    for (const ReviewCard* c : keptCards(cards)) {
        auto& day = byFirst[c->steps[0].grade][c->steps[1].elapsedDays];
        day.first += recalled(c->steps[1].grade);
        day.second += 1;
        for (qsizetype i = 1; i < c->steps.size(); ++i) {
            recalls += recalled(c->steps[i].grade);
            reviews += 1;
        }
    }
    const double average = reviews > 0 ? recalls / reviews : 0;
    std::map<int, double> found;
    std::map<int, int> counts;
    for (const auto& [grade, byDays] : byFirst) {
        found[grade] =
            searchStability(byDays, average, Fsrs::DefaultWeights[std::size_t(grade - 1)]);
        for (const auto& [days, counted] : byDays) {
            counts[grade] += int(counted.second);
        }
    }
    return smoothAndFill(found, counts);
}

Fsrs::Weights fit(const QList<ReviewCard>& cards, const Settings& settings)
{
    Fsrs::Weights w = Fsrs::DefaultWeights;
    if (predictedReviews(cards) < MinimumReviews) {
        return w;
    }
    const std::array<double, 4> first = initialStabilities(cards);
    std::copy(first.begin(), first.end(), w.begin());
    const Training t = prepare(cards, settings.longestCard);
    // Too few left to learn from once rare first intervals are set aside.
    if (t.reviews < 64) {
        return w;
    }
    // The same-day steps' parameters, unused without same-day reviews, are
    // 0 as the reference leaves them.
    std::fill(w.begin() + 17, w.begin() + 20, 0.0);
    return train(t, w, settings);
}

Loss logLoss(const QList<ReviewCard>& cards, const Fsrs::Weights& w)
{
    const Formulas<Number, Unrounded> f = withDerivatives(w);
    Gradient g{};
    double sum = 0;
    for (const ReviewCard& c : cards) {
        sum += cardLoss(f, c, nullptr, c.steps.size(), &g);
    }
    const double n = double(std::max<qsizetype>(predictedReviews(cards), 1));
    Loss out;
    out.value = sum / n;
    for (int k = 0; k < FreeCount; ++k) {
        out.gradient[std::size_t(Free[std::size_t(k)])] = g[std::size_t(k)] / n;
    }
    return out;
}

} // namespace FsrsFit
