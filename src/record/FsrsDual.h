#pragma once

#include <array>
#include <cmath>

// Numbers that carry their derivatives by N parameters (forward-mode
// automatic differentiation): the fit's gradient, exact and in one pass.
namespace Fsrs::Model
{

template <int N> struct Dual {
    double v = 0;
    std::array<double, N> d{};

    Dual() = default;
    Dual(double x) : v(x) {} // a constant
    // The parameter numbered `i` of the N, at x.
    static Dual variable(double x, int i)
    {
        Dual r(x);
        r.d[std::size_t(i)] = 1;
        return r;
    }
};

template <int N> double valueOf(const Dual<N>& x)
{
    return x.v;
}

// x's value f and derivative df: the chain rule once.
template <int N> Dual<N> chain(const Dual<N>& x, double f, double df)
{
    Dual<N> r(f);
    for (int i = 0; i < N; ++i) {
        r.d[i] = df * x.d[i];
    }
    return r;
}

template <int N> Dual<N> operator-(const Dual<N>& x)
{
    return chain(x, -x.v, -1.0);
}

template <int N> Dual<N> operator+(const Dual<N>& a, const Dual<N>& b)
{
    Dual<N> r(a.v + b.v);
    for (int i = 0; i < N; ++i) {
        r.d[i] = a.d[i] + b.d[i];
    }
    return r;
}

template <int N> Dual<N> operator-(const Dual<N>& a, const Dual<N>& b)
{
    Dual<N> r(a.v - b.v);
    for (int i = 0; i < N; ++i) {
        r.d[i] = a.d[i] - b.d[i];
    }
    return r;
}

template <int N> Dual<N> operator*(const Dual<N>& a, const Dual<N>& b)
{
    Dual<N> r(a.v * b.v);
    for (int i = 0; i < N; ++i) {
        r.d[i] = a.d[i] * b.v + b.d[i] * a.v;
    }
    return r;
}

template <int N> Dual<N> operator/(const Dual<N>& a, const Dual<N>& b)
{
    const double q = a.v / b.v;
    Dual<N> r(q);
    for (int i = 0; i < N; ++i) {
        r.d[i] = (a.d[i] - q * b.d[i]) / b.v;
    }
    return r;
}

template <int N> Dual<N> operator+(const Dual<N>& a, double b)
{
    return chain(a, a.v + b, 1.0);
}
template <int N> Dual<N> operator+(double a, const Dual<N>& b)
{
    return chain(b, a + b.v, 1.0);
}
template <int N> Dual<N> operator-(const Dual<N>& a, double b)
{
    return chain(a, a.v - b, 1.0);
}
template <int N> Dual<N> operator-(double a, const Dual<N>& b)
{
    return chain(b, a - b.v, -1.0);
}
template <int N> Dual<N> operator*(const Dual<N>& a, double b)
{
    return chain(a, a.v * b, b);
}
template <int N> Dual<N> operator*(double a, const Dual<N>& b)
{
    return chain(b, a * b.v, a);
}
template <int N> Dual<N> operator/(const Dual<N>& a, double b)
{
    return chain(a, a.v / b, 1.0 / b);
}

template <int N> Dual<N> exp(const Dual<N>& x)
{
    const double e = std::exp(x.v);
    return chain(x, e, e);
}

template <int N> Dual<N> log(const Dual<N>& x)
{
    return chain(x, std::log(x.v), 1.0 / x.v);
}

template <int N> Dual<N> pow(const Dual<N>& x, double p)
{
    const double y = std::pow(x.v, p);
    return chain(x, y, p * y / x.v);
}

// x^p = e^(p ln x), for x > 0.
template <int N> Dual<N> pow(const Dual<N>& x, const Dual<N>& p)
{
    const double lnX = std::log(x.v);
    const double y = std::exp(p.v * lnX);
    Dual<N> r(y);
    for (int i = 0; i < N; ++i) {
        r.d[i] = y * (p.d[i] * lnX + p.v * x.d[i] / x.v);
    }
    return r;
}

} // namespace Fsrs::Model
