#!/usr/bin/perl
# Every narrow string literal of the project's C++ sources that holds a byte
# above 127 must be internal text ("..."_l1, ISO-8859-1) or written with
# escapes (bytes); a plain UTF-8 literal would mix two encodings in one
# string. Texts for the toolkit are QStringLiteral(...) or u"...".
#   literals.pl SOURCE-DIR
use strict;
use warnings;
use File::Find;

my $root = shift or die "usage: $0 SOURCE-DIR\n";
my @dirs = grep { -d "$root/$_" } qw(app consopuntos dm dbaccess packaging tests bench);
my $bad = 0;
find(sub {
  return unless /\.(cpp|h)$/;
  my $file = $File::Find::name;
  open(my $fh, '<', $_) or die "$file: $!\n";
  my $n = 0;
  while (my $line = <$fh>) {
    $n++;
    next if $line =~ m{^\s*//};
    while ($line =~ m{(\w*)"((?:[^"\\\n]|\\.)*)"(\w*)}g) {
      my ($prefix, $body, $suffix) = ($1, $2, $3);
      my $before = substr($line, 0, $-[0]);
      last if $before =~ m{//} && ($before =~ tr/"//) % 2 == 0;  # a comment
      next unless $body =~ /[\x80-\xff]/;
      next if $suffix eq '_l1' || $prefix =~ /^(u|U|L|u8)$/;
      next if $before =~ /QStringLiteral\(\s*$/;
      print "$file:$n: UTF-8 literal: use \"...\"_l1, escapes, or QStringLiteral\n";
      $bad++;
    }
  }
  close($fh);
}, map { "$root/$_" } @dirs);
exit($bad ? 1 : 0);
